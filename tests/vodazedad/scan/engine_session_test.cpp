#include "vodazedad/scan/engine_session.h"

#include "common/files.h"
#include "common/lang/local_text.h"
#include "platform/dynlib/dynamic_library.h"
#include "platform/registry/sqlite_registry.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace vz::scan {
namespace {

namespace Option = engine::Option;

class EngineSessionTest : public ::testing::Test {
protected:
    platform::DynamicLibraryLoader m_loader;
    test::RecordingUserInterface m_ui;
    test::TempDir m_dir;
};

TEST_F(EngineSessionTest, StartsTheEngineOfTheInstallationFolderAndStopsIt)
{
    EngineSession session(m_loader, m_ui, test::builtAppDir());
    EXPECT_FALSE(session.loaded());
    ASSERT_EQ(session.start(ShowMessage::Yes), 0);
    EXPECT_TRUE(session.loaded());
    ASSERT_NE(session.engine(), nullptr);
    EXPECT_GE(session.info().knownViruses, 3u);
    EXPECT_GE(session.info().definitionsYear, 2026);
    EXPECT_TRUE(m_ui.shown.empty());

    auto record = engine::makeFileTestRecord(m_dir.write("clean.txt", "nothing to see"), Option::Service);
    ASSERT_TRUE(record.ok());
    EXPECT_EQ(session.engine()->testFile(*record), 0);

    session.stop();
    EXPECT_FALSE(session.loaded());
    session.stop(); // nothing loaded: nothing to do
    EXPECT_FALSE(session.loaded());
}

TEST_F(EngineSessionTest, AMissingLibraryShowsMinusOneAndTheLibraryPath)
{
    const std::string folder = m_dir.path() + "/";
    EngineSession session(m_loader, m_ui, folder);
    EXPECT_EQ(session.start(ShowMessage::No), 1);
    EXPECT_TRUE(m_ui.shown.empty());
    EXPECT_EQ(session.start(ShowMessage::Yes), 1);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_EQ(m_ui.shown[0].text, "Error initializing AV-Engine (-1)\n" + folder + "SAVAPI.DLL");
    EXPECT_EQ(m_ui.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(m_ui.shown[0].icon, MessageIcon::Error);
    EXPECT_FALSE(session.loaded());
    session.stop();
}

TEST_F(EngineSessionTest, AnEngineThatFailsToStartShowsItsOwnCode)
{
    const std::string folder = m_dir.path() + "/";
    ASSERT_TRUE(files::copyFile(test::builtAppDir() + "SAVAPI.DLL", folder + "SAVAPI.DLL", files::Overwrite::No).ok());
    ASSERT_TRUE(files::copyFile(test::builtAppDir() + "AVEWIN32.DLL", folder + "AVEWIN32.DLL", files::Overwrite::No).ok());
    EngineSession session(m_loader, m_ui, folder);
    EXPECT_EQ(session.start(ShowMessage::Yes), 1);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    // 4: the definitions are missing.
    EXPECT_EQ(m_ui.shown[0].text, "Error initializing AV-Engine (4)\n" + folder + "SAVAPI.DLL");
    EXPECT_FALSE(session.loaded());
}

// Answers every key with a marked text, to show which key a text comes from.
class KeyEcho final : public TextSource {
public:
    std::string localText(std::string_view key, std::string_view) const override { return "<" + std::string(key) + ">"; }
};

class ScopedTextSource {
public:
    ScopedTextSource() { installTextSource(std::make_shared<KeyEcho>()); }
    ~ScopedTextSource() { installTextSource(nullptr); }
};

TEST_F(EngineSessionTest, TheStartMessageIsTranslated)
{
    ScopedTextSource echo;
    EngineSession session(m_loader, m_ui, m_dir.path());
    EXPECT_EQ(session.start(ShowMessage::Yes), 1);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_EQ(m_ui.shown[0].text, "<initerror> (-1)\n" + m_dir.path() + "/SAVAPI.DLL");
}

class JobOptionsTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    std::unique_ptr<Registry> m_registry = platform::openRegistry(platform::RegistryLocation::inFolder(m_dir.path()));
    Profile m_profile { *m_registry };
};

TEST_F(JobOptionsTest, FollowTheSettingsOfTheOptionsSection)
{
    struct Case {
        const char* what;
        std::map<std::string, int> settings;
        std::uint16_t expected;
    };
    const Case cases[] = {
        { "nothing set: clean, no heuristics, no archives", {}, Option::Repair },
        { "quarantine", { { "Action", 1 } }, 0 },
        { "delete", { { "Action", 2 } }, 0 },
        { "high heuristics with macro scanning by default", { { "Heuristic Level", 1 } }, Option::Repair | Option::HeuristicsHigh | Option::MacroHeuristics },
        { "medium heuristics", { { "Heuristic Level", 2 } }, Option::Repair | Option::HeuristicsMedium | Option::MacroHeuristics },
        { "low heuristics", { { "Heuristic Level", 3 } }, Option::Repair | Option::HeuristicsLow | Option::MacroHeuristics },
        { "an unknown level adds no heuristics but still the macro options", { { "Heuristic Level", 4 } }, Option::Repair | Option::MacroHeuristics },
        { "macro scanning off", { { "Heuristic Level", 1 }, { "Heuristic Macros", 0 } }, Option::Repair | Option::HeuristicsHigh },
        { "remove all macros", { { "Heuristic Level", 3 }, { "Heuristic All Macros", 1 } }, Option::Repair | Option::HeuristicsLow | Option::MacroHeuristics | Option::RemoveAllMacros },
        { "only bit 0 of the macro settings counts", { { "Heuristic Level", 3 }, { "Heuristic All Macros", 2 }, { "Heuristic Macros", 2 } }, Option::Repair | Option::HeuristicsLow },
        { "macro settings without heuristics add nothing", { { "Heuristic Macros", 1 }, { "Heuristic All Macros", 1 } }, Option::Repair },
        { "level recommended: archives", { { "Level", 1 } }, Option::Repair | Option::Archives },
        { "level maximum: archives", { { "Level", 2 }, { "Action", 1 } }, Option::Archives },
        { "everything", { { "Action", 0 }, { "Heuristic Level", 1 }, { "Heuristic All Macros", 1 }, { "Level", 2 } },
            Option::Repair | Option::HeuristicsHigh | Option::RemoveAllMacros | Option::MacroHeuristics | Option::Archives },
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        auto registry = platform::openRegistry(platform::RegistryLocation::inFolder(dir.path()));
        Profile profile(*registry);
        for (const auto& [name, value] : c.settings)
            ASSERT_TRUE(profile.writeInt("Options", name, value).ok());
        const JobOptions options = jobOptions(profile);
        EXPECT_EQ(options.options, c.expected) << c.what;
        EXPECT_EQ(options.tempFileName, "avscan00.tmp") << c.what;
    }
}

TEST_F(JobOptionsTest, AreReadAfreshAndNameTheWorkersTemporaryFile)
{
    EXPECT_EQ(jobOptions(m_profile).options, Option::Repair);
    ASSERT_TRUE(m_profile.writeInt("Options", "Level", 1).ok());
    EXPECT_EQ(jobOptions(m_profile).options, Option::Repair | Option::Archives);
    EXPECT_EQ(jobOptions(m_profile, 7).tempFileName, "avscan07.tmp");
}

TEST(EngineTexts, ErrorAndWarningCodesHaveTheirReasonTexts)
{
    const std::pair<int, const char*> errors[] = {
        { 10, "The virus could not be decrypted" },
        { 22, "Not enough memory available" },
        { 23, "The file could not be opened" },
        { 24, "Read error in file" },
        { 25, "Write error on file" },
        { 26, "Temporary file could not be opened" },
        { 27, "Read error on temp file" },
        { 28, "Write error on temporary file (out of disk space?)" },
    };
    // Detail 0: the engine knows no reason.
    for (const auto& [code, text] : errors)
        EXPECT_EQ(errorText(code, 0), text) << code;
    // Outside the table the text holds the code and the detail.
    EXPECT_EQ(errorText(31, 1), "errorcode: 31 : 0x00000001");
    EXPECT_EQ(errorText(0, 0xffff), "errorcode: 0 : 0x0000ffff");

    const std::pair<std::uint32_t, const char*> warnings[] = {
        { 0x1, "Access denied" },
        { 0x80, "OLE file damaged" },
        { 0x100, "The tested file may be infected by a macro virus" },
        { 0x200, "The tested file may be a dropper virus" },
        { 0x400, "The file tested may contain a Trojan Horse" },
        { 0x800, "The tested file may contain polymorph macros" },
        { 0x1000, "The document is encrypted and cannot be tested" },
        // Whole values, not bits: 0x300 is no entry of the table.
        { 0x300, "warningcode: : 0x00000300" },
        { 0x1001, "warningcode: : 0x00001001" },
        { 0x10000, "warningcode: : 0x00010000" },
    };
    for (const auto& [code, text] : warnings)
        EXPECT_EQ(warningText(code), text) << code;
}

// The file and temporary-file errors carry the errno of the failure as their detail.
TEST(EngineTexts, FileErrorsNameTheRealReason)
{
    const std::tuple<int, int, const char*> cases[] = {
        { 23, ENOENT, "The file could not be opened (No such file or directory)" },
        { 23, ENAMETOOLONG, "The file could not be opened (File name too long)" },
        { 24, EISDIR, "Read error in file (Is a directory)" },
        { 24, EIO, "Read error in file (Input/output error)" },
        { 25, ENOSPC, "Write error on file (No space left on device)" },
        { 26, ENOENT, "Temporary file could not be opened (No such file or directory)" },
        { 28, EDQUOT, "Write error on temporary file (out of disk space?) (Disk quota exceeded)" },
        // Memory and decryption errors carry no errno.
        { 22, 5, "Not enough memory available" },
        { 10, 5, "The virus could not be decrypted" },
    };
    for (const auto& [code, detail, text] : cases)
        EXPECT_EQ(errorText(code, detail), text) << code << " " << detail;
}

TEST_F(EngineSessionTest, AFileTheEngineCannotOpenIsReportedWithItsReason)
{
    EngineSession session(m_loader, m_ui, test::builtAppDir());
    ASSERT_EQ(session.start(ShowMessage::No), 0);
    const std::pair<std::string, const char*> cases[] = {
        { m_dir.file("missing"), "The file could not be opened (No such file or directory)" },
        { m_dir.write("file", "x") + "/below", "The file could not be opened (Not a directory)" },
        { m_dir.mkdir("folder"), "Read error in file (Is a directory)" },
    };
    for (const auto& [path, text] : cases) {
        auto record = engine::makeFileTestRecord(path, Option::Service);
        ASSERT_TRUE(record.ok());
        EXPECT_EQ(session.engine()->testFile(*record), engine::ResultFlag::Error) << path;
        EXPECT_EQ(errorText(record->errorCode, record->errorDetail), text) << path;
    }
}

TEST(EngineTexts, ComeThroughTheirKeys)
{
    ScopedTextSource echo;
    EXPECT_EQ(errorText(23, 0), "<notopened>");
    EXPECT_EQ(errorText(28, 0), "<tempwriteerr>");
    EXPECT_EQ(errorText(99, 2), "<errcode> 99 : 0x00000002");
    EXPECT_EQ(warningText(0x80), "<OleDamaged>");
    EXPECT_EQ(warningText(0x1000), "<warnencrypted>");
    EXPECT_EQ(warningText(0x2), "<warncode> : 0x00000002");
}

} // namespace
} // namespace vz::scan
