#include "vodazedad/scan/infection_handler.h"

#include "common/files.h"
#include "common/lang/local_text.h"
#include "common/records/quarantine_index.h"
#include "tests/support/test_environment.h"
#include "tests/vodazedad/scan/infection_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vz::scan {
namespace {

using records::RecordCode;
using test::FakeRepairer;
using test::Installation;
using vz::test::readAll;

enum class FileAfter { Untouched, Cleaned, Gone, Quarantined };

struct ActionCase {
    const char* name;
    int action;
    bool repairable;
    std::uint16_t repairError;
    bool deletionFails; // something stands at the path that cannot be deleted as a file
    InfectionOutcome expected;
    FileAfter after;
    bool repairCalled;
};

TEST(InfectionHandler, CarriesOutEveryAction)
{
    const ActionCase cases[] = {
        { "clean, not repairable", InfectionAction::Clean, false, 0, false,
            { "Virus can't be removed", RecordCode::InfectionLeft }, FileAfter::Untouched, false },
        { "clean, repaired", InfectionAction::Clean, true, 0, false,
            { "File cleaned successfully", RecordCode::Cleaned }, FileAfter::Cleaned, true },
        { "clean, repair failed", InfectionAction::Clean, true, 24, false,
            { "File deleted", RecordCode::Deleted }, FileAfter::Gone, true },
        // No regular file stands at the path: nothing is repaired or removed.
        { "clean, nothing to repair or delete", InfectionAction::Clean, true, 25, true,
            { "Virus can't be removed", RecordCode::InfectionLeft }, FileAfter::Untouched, false },
        { "quarantine", InfectionAction::Quarantine, true, 0, false,
            { "File quarantained", RecordCode::Quarantined }, FileAfter::Quarantined, false },
        { "delete", InfectionAction::Delete, true, 0, false,
            { "File deleted", RecordCode::Deleted }, FileAfter::Gone, false },
        { "delete failed", InfectionAction::Delete, false, 0, true,
            { "", RecordCode::InfectionLeft }, FileAfter::Untouched, false },
        { "unknown action", 3, true, 0, false,
            { "", RecordCode::InfectionLeft }, FileAfter::Untouched, false },
        { "negative action", -1, true, 0, false,
            { "", RecordCode::InfectionLeft }, FileAfter::Untouched, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        std::string path = inst.infected("a.exe");
        if (c.deletionFails) {
            // A folder where the file was: unlink refuses it, and the test can tell
            // that nothing was moved or removed.
            ASSERT_TRUE(files::remove(path).ok());
            ASSERT_TRUE(files::makeFolder(path).ok());
        }
        FakeRepairer repairer;
        repairer.errorCode = c.repairError;
        InfectionHandler handler(inst.store, repairer);

        EXPECT_EQ(handler.handle({ path, "Eicar-Test-Signature", c.repairable }, c.action), c.expected);

        EXPECT_EQ(repairer.repaired.size(), c.repairCalled ? 1u : 0u);
        switch (c.after) {
        case FileAfter::Untouched:
            if (c.deletionFails) {
                EXPECT_TRUE(files::isDirectory(path));
            } else {
                EXPECT_EQ(readAll(path), "X5O!P%@AP infected");
            }
            break;
        case FileAfter::Cleaned: EXPECT_EQ(readAll(path), "clean"); break;
        case FileAfter::Gone: EXPECT_FALSE(files::exists(path)); break;
        case FileAfter::Quarantined:
            EXPECT_FALSE(files::exists(path));
            EXPECT_EQ(readAll(inst.quarantined("AV0.QRT")), "X5O!P%@AP infected");
            break;
        }
        // Only a quarantine move writes a record itself; the rest is the walk's job.
        EXPECT_EQ(files::exists(inst.location.quarantineIndex()), c.after == FileAfter::Quarantined);
        EXPECT_EQ(files::listDirectory(inst.location.quarantineFolder())->size(), c.after == FileAfter::Quarantined ? 1u : 0u);
    }
}

TEST(InfectionHandler, DeleteInAReadOnlyFolderLeavesTheFile)
{
    Installation inst;
    ASSERT_EQ(::chmod(inst.dir.path().c_str(), 0755), 0);
    std::string folder = inst.dir.mkdir("readonly");
    std::string path = inst.dir.write("readonly/a.exe", "infected");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    FakeRepairer repairer;
    InfectionHandler handler(inst.store, repairer);

    // As a user without rights to the folder, as on a shared drive.
    bool asExpected = vz::test::runAsUnprivileged([&] {
        return handler.handle({ path, "Eicar", false }, InfectionAction::Delete) == InfectionOutcome { "", RecordCode::InfectionLeft };
    });
    EXPECT_TRUE(asExpected);
    EXPECT_EQ(readAll(path), "infected");
}

// Answers "[key]" for every key, so a test sees which text was asked for.
class KeyEcho final : public TextSource {
public:
    std::string localText(std::string_view key, std::string_view) const override { return "[" + std::string(key) + "]"; }
};

TEST(InfectionHandler, ResultTextsComeFromTheCurrentLanguage)
{
    struct ScopedLanguage {
        ScopedLanguage() { installTextSource(std::make_shared<KeyEcho>()); }
        ~ScopedLanguage() { installTextSource(nullptr); }
    } language;
    struct Case {
        int action;
        bool repairable;
        std::uint16_t repairError;
        const char* text;
    } cases[] = {
        { InfectionAction::Clean, false, 0, "[cantdisinfect]" },
        { InfectionAction::Clean, true, 0, "[cleanok]" },
        { InfectionAction::Clean, true, 1, "[filedeleted]" },
        { InfectionAction::Quarantine, false, 0, "[quarantained]" },
        { InfectionAction::Delete, false, 0, "[filedeleted]" },
    };
    for (const auto& c : cases) {
        Installation inst;
        FakeRepairer repairer;
        repairer.errorCode = c.repairError;
        InfectionHandler handler(inst.store, repairer);
        EXPECT_EQ(handler.handle({ inst.infected("a"), "v", c.repairable }, c.action).resultText, c.text);
    }
    Installation inst;
    EXPECT_EQ(inst.store.quarantine(inst.dir.file("missing"), "v").resultText, "[cantmove]");
}

} // namespace
} // namespace vz::scan
