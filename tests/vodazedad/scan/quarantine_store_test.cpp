#include "vodazedad/scan/quarantine_store.h"

#include "common/files.h"
#include "common/records/quarantine_index.h"
#include "tests/vodazedad/scan/infection_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::scan {
namespace {

using records::RecordCode;
using test::Installation;
using vz::test::readAll;

const InfectionOutcome Quarantined { "File quarantained", RecordCode::Quarantined };
const InfectionOutcome NotMoved { "File can't be moved", RecordCode::InfectionLeft };

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : files::listDirectory(folder).valueOr({}))
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(QuarantineStore, NumbersFilesFromAnEmptyQuarantineUpward)
{
    Installation inst;
    EXPECT_EQ(inst.store.count(), 0);
    std::string first = inst.infected("first.exe", "one");
    std::string second = inst.infected("100%d.exe", "two");

    EXPECT_EQ(inst.store.quarantine(first, "Eicar"), Quarantined);
    EXPECT_EQ(inst.store.quarantine(second, "W32/%s"), Quarantined);

    EXPECT_EQ(readAll(inst.quarantined("AV0.QRT")), "one"); // moved unchanged
    EXPECT_EQ(readAll(inst.quarantined("AV1.QRT")), "two");
    EXPECT_FALSE(files::exists(first));
    EXPECT_FALSE(files::exists(second));
    EXPECT_EQ(inst.store.count(), 2);
    EXPECT_EQ(readAll(inst.location.quarantineIndex()),
        "05/03/2006 14:07\r\nAV0.QRT\r\nEicar\r\n" + first + "\r\n"
        "05/03/2006 14:07\r\nAV1.QRT\r\nW32/%s\r\n" + second + "\r\n");
}

TEST(QuarantineStore, TakesTheNextFreeNumberWhenTheCountNamesAFileStillThere)
{
    Installation inst;
    for (int n = 0; n < 3; ++n)
        ASSERT_EQ(inst.store.quarantine(inst.infected("f" + std::to_string(n), "old" + std::to_string(n)), "v"), Quarantined);
    // The quarantine manager deletes the first item: its file and its entry go.
    ASSERT_TRUE(files::remove(inst.quarantined("AV0.QRT")).ok());
    ASSERT_TRUE(records::rewriteQuarantineIndex(inst.location, [](const records::QuarantineEntry& e) { return e.fileName != "AV0.QRT"; }).ok());
    ASSERT_EQ(inst.store.count(), 2); // which names AV2.QRT, still in the quarantine

    std::string path = inst.infected("new.exe", "new");
    EXPECT_EQ(inst.store.quarantine(path, "Eicar"), Quarantined);
    EXPECT_FALSE(files::exists(path));
    EXPECT_EQ(readAll(inst.quarantined("AV2.QRT")), "old2"); // never replaced
    EXPECT_EQ(readAll(inst.quarantined("AV3.QRT")), "new");
    auto entries = records::readQuarantineIndex(inst.location);
    ASSERT_TRUE(entries.ok());
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ(entries->back().fileName, "AV3.QRT");
    EXPECT_EQ(entries->back().formerPath, path);
}

TEST(QuarantineStore, ANameAnEntryStillHoldsIsNeverGivenAgain)
{
    Installation inst;
    for (int n = 0; n < 3; ++n)
        ASSERT_EQ(inst.store.quarantine(inst.infected("f" + std::to_string(n)), "v"), Quarantined);
    // AV2.QRT's file was removed by hand and AV0's entry by the manager: the count
    // names AV2.QRT, whose entry would restore a new file to f2's place.
    ASSERT_TRUE(files::remove(inst.quarantined("AV2.QRT")).ok());
    ASSERT_TRUE(records::rewriteQuarantineIndex(inst.location, [](const records::QuarantineEntry& e) { return e.fileName != "AV0.QRT"; }).ok());
    std::string path = inst.infected("new.exe", "new");
    EXPECT_EQ(inst.store.quarantine(path, "Eicar"), Quarantined);
    EXPECT_FALSE(files::exists(inst.quarantined("AV2.QRT")));
    EXPECT_EQ(readAll(inst.quarantined("AV3.QRT")), "new");
}

TEST(QuarantineStore, QuarantinedFileIsOwnerOnly)
{
    for (unsigned mode : { 0755u, 0644u, 0777u, 0400u }) {
        SCOPED_TRACE(mode);
        Installation inst;
        std::string path = inst.infected("a.exe");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_EQ(inst.store.quarantine(path, "Eicar"), Quarantined);
        auto st = files::status(inst.quarantined("AV0.QRT"));
        ASSERT_TRUE(st.ok());
        EXPECT_EQ(st->mode, 0600u);
    }
}

TEST(QuarantineStore, MoveFromAnotherFileSystemKeepsExactlyOneCopy)
{
    Installation inst;
    auto shm = files::status("/dev/shm");
    auto mine = files::status(inst.dir.path());
    if (!shm || !mine || shm->device == mine->device)
        GTEST_SKIP() << "no second file system to move from";
    std::string folder = "/dev/shm/vz-quarantine-test-" + std::to_string(::getpid());
    ASSERT_TRUE(files::makeFolder(folder).ok());
    std::string content(500000, 'v');
    std::string path = folder + "/big.exe";
    ASSERT_TRUE(files::replaceFile(path, content).ok());
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);

    EXPECT_EQ(inst.store.quarantine(path, "Eicar"), Quarantined);
    EXPECT_FALSE(files::exists(path));
    EXPECT_EQ(readAll(inst.quarantined("AV0.QRT")), content);
    EXPECT_EQ(files::status(inst.quarantined("AV0.QRT"))->mode, 0600u);
    EXPECT_EQ(namesIn(inst.location.quarantineFolder()), std::vector<std::string> { "AV0.QRT" });
    EXPECT_EQ(inst.store.count(), 1);

    // When the index cannot be written the file goes back across, once.
    std::string again = folder + "/again.exe";
    ASSERT_TRUE(files::replaceFile(again, content).ok());
    ASSERT_TRUE(files::remove(inst.location.quarantineIndex()).ok());
    ASSERT_EQ(::rmdir(inst.location.reportsFolder().c_str()), 0);
    EXPECT_EQ(inst.store.quarantine(again, "Eicar"), NotMoved);
    EXPECT_EQ(readAll(again), content);
    EXPECT_EQ(namesIn(inst.location.quarantineFolder()), std::vector<std::string> { "AV0.QRT" });
    EXPECT_EQ(namesIn(folder), std::vector<std::string> { "again.exe" });

    ASSERT_TRUE(files::remove(again).ok());
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
}

TEST(QuarantineStore, LeavesTheFileInPlaceWhenItCannotBeKeptInTheQuarantine)
{
    struct Case {
        const char* name;
        bool reports;
        bool quarantine;
        bool symlink;
    } cases[] = {
        { "no Reports folder: no index entry, so no move", false, true, false },
        { "no Quarantine folder", true, false, false },
        { "a symbolic link is not a file to move", true, true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vz::test::TempDir dir;
        if (c.reports)
            dir.mkdir("Reports");
        if (c.quarantine)
            dir.mkdir("Quarantine");
        std::string target = dir.write("a.exe", "infected");
        std::string path = target;
        if (c.symlink) {
            path = dir.file("link.exe");
            ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
        }
        unsigned modeBefore = files::status(target)->mode;
        test::FixedClock clock;
        QuarantineStore store(records::RecordLocation(dir.path()), clock);

        EXPECT_EQ(store.quarantine(path, "Eicar"), NotMoved);
        EXPECT_EQ(readAll(path), "infected");
        EXPECT_EQ(files::status(target)->mode, modeBefore);
        EXPECT_TRUE(namesIn(dir.file("Quarantine")).empty());
        EXPECT_EQ(store.count(), 0);
        EXPECT_EQ(files::isDirectory(dir.file("Reports")), c.reports); // no folder made
    }
}

TEST(QuarantineStore, CraftedNameIsRestoredToExactlyWhereItWas)
{
    Installation inst;
    std::string folder = inst.dir.mkdir("scanned/x\n05\nAV7.QRT\nEvil");
    std::string path = inst.dir.write("scanned/x\n05\nAV7.QRT\nEvil/\r\nname", "bad");
    ASSERT_EQ(inst.store.quarantine(path, "Evil\nVirus"), Quarantined);
    EXPECT_EQ(inst.store.count(), 1);
    auto entries = records::readQuarantineIndex(inst.location);
    ASSERT_TRUE(entries.ok());
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].fileName, "AV0.QRT");
    EXPECT_EQ((*entries)[0].virusName, "Evil\nVirus");
    EXPECT_EQ((*entries)[0].formerPath, path);
    // The next item still gets the next number.
    EXPECT_EQ(inst.store.quarantine(inst.infected("b"), "v"), Quarantined);
    EXPECT_TRUE(files::exists(inst.quarantined("AV1.QRT")));
}

} // namespace
} // namespace vz::scan
