#include "tests/outside/savapi/engine_samples.h"

#include "tests/support/temp_dir.h"

#include <filesystem>
#include <cstring>
#include <gtest/gtest.h>

namespace vz::test::engine {
namespace {

using namespace vz::engine;

class EngineDetection : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_engine = startEngine(builtEngine()).release(); }
    static void TearDownTestSuite()
    {
        delete s_engine;
        s_engine = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_engine); }
    static const ScanEngine& engine() { return *s_engine; }

    TempDir m_dir;

private:
    static ScanEngine* s_engine;
};

ScanEngine* EngineDetection::s_engine = nullptr;

TEST_F(EngineDetection, FillsEveryFieldOfTheRecordByWhatItFound)
{
    struct Case {
        const char* what;
        std::string content;
        std::uint16_t options;
        std::uint16_t flags;
        const char* name;
        std::uint16_t repairable;
    };
    const Case cases[] = {
        { "standard test file", standardTestFile(), 0, ResultFlag::Virus, "Vz-Test.StandardFile", 0 },
        { "standard test file with trailing blanks", standardTestFile() + "  \r\n", Option::Service, ResultFlag::Virus, "Vz-Test.StandardFile", 0 },
        { "test string not at the start", "x" + standardTestFile(), 0, 0, "", 0 },
        { "test program", readAll(testFile("clam.exe")), 0, ResultFlag::Virus, "Vz-Test.Program", 0 },
        { "host with the appended test block", cleanHost() + appendedBlock(), 0, ResultFlag::Virus, "Vz-Test.AppendedBlock", 1 },
        { "clean host", cleanHost(), Option::Service | Option::HeuristicsHigh | Option::MacroHeuristics, 0, "", 0 },
        { "empty file", "", Option::Service, 0, "", 0 },
    };
    for (const auto& c : cases) {
        const std::string path = m_dir.write("sample", c.content);
        FileTestRecord record = test(engine(), path, c.options);
        EXPECT_EQ(record.resultFlags, c.flags) << c.what;
        EXPECT_EQ(virusName(record), c.name) << c.what;
        EXPECT_EQ(record.hasVirusName != 0, std::string(c.name) != "") << c.what;
        EXPECT_EQ(record.repairable, c.repairable) << c.what;
        EXPECT_EQ(record.errorCode, 0) << c.what;
        EXPECT_EQ(record.errorDetail, 0) << c.what;
        EXPECT_EQ(record.warningCode, 0u) << c.what;
        // What the caller gave stays as it was.
        EXPECT_EQ(std::string(record.filePath), path) << c.what;
        EXPECT_EQ(std::string(record.tempFileName), "avscan00.tmp") << c.what;
        EXPECT_EQ(record.options, c.options) << c.what;
    }
}

TEST_F(EngineDetection, AResultFromAnEarlierTestDoesNotLinger)
{
    FileTestRecord record = test(engine(), testFile("clam.exe"), 0);
    ASSERT_EQ(record.resultFlags, ResultFlag::Virus);
    const std::string clean = m_dir.write("clean", cleanHost());
    std::memcpy(record.filePath, clean.c_str(), clean.size() + 1);
    EXPECT_EQ(engine().testFile(record), 0);
    EXPECT_EQ(record.hasVirusName, 0);
    EXPECT_EQ(record.virusName[0], '\0');
}

// Containers whose content libclamav must open to see the test program.
const char* const PackedContainers[] = {
    "clam.zip", "clam.7z", "clam.arj", "clam.tar.gz", "clam.exe.bz2", "clam.bz2.zip", "clam.impl.zip",
    "clam.d64.zip", "clam.chm", "clam.sis", "clam.exe.szdd", "clam_cache_emax.tgz", "clam.exe.binhex", "clam.exe.rtf",
};

TEST_F(EngineDetection, FindsTheTestProgramInContainersOnlyWithArchivesOn)
{
    for (const char* name : PackedContainers) {
        const FileTestRecord on = test(engine(), testFile(name), Option::Archives);
        EXPECT_EQ(on.resultFlags, ResultFlag::Virus) << name;
        EXPECT_EQ(virusName(on), "Vz-Test.Program") << name;
        const FileTestRecord off = test(engine(), testFile(name), 0);
        EXPECT_EQ(off.resultFlags, 0) << name << " with archives off";
    }
    EXPECT_EQ(test(engine(), testFile("clam.exe"), 0).resultFlags, ResultFlag::Virus) << "the plain program with archives off";
}

TEST_F(EngineDetection, AFileFoundCleanWithArchivesOffIsTestedAgainWithThemOn)
{
    // Each set of options keeps its own memory of clean files: what was clean without
    // archives is no answer for a test with archives.
    for (const char* name : { "clam.zip", "clam.tar.gz" }) {
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(test(engine(), testFile(name), 0).resultFlags, 0) << name;
            EXPECT_EQ(test(engine(), testFile(name), Option::Archives).resultFlags, ResultFlag::Virus) << name << " round " << round;
        }
    }
}

TEST_F(EngineDetection, FindsTheTestProgramInEveryTestFileWithArchivesOn)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TestFilesFolder))) {
        ++files;
        const FileTestRecord record = test(engine(), entry.path().string(), Option::Service);
        EXPECT_EQ(record.resultFlags, ResultFlag::Virus) << entry.path();
        EXPECT_EQ(virusName(record), "Vz-Test.Program") << entry.path();
    }
    EXPECT_GE(files, 40);
}

TEST_F(EngineDetection, ReportsAnEncryptedArchiveAsAWarning)
{
    const std::string path = m_dir.write("secret.zip", encryptedZip());
    const FileTestRecord record = test(engine(), path, Option::Archives);
    EXPECT_EQ(record.resultFlags, ResultFlag::Warning);
    EXPECT_EQ(record.warningCode, 0x1000u);
    EXPECT_EQ(record.errorCode, 0);
}

TEST_F(EngineDetection, ReportsOfficeMacrosOnlyUnderTheMacroHeuristics)
{
    const std::string path = m_dir.write("macros.xls", spreadsheetWithMacroSheet());
    struct Case {
        std::uint16_t options;
        std::uint16_t flags;
        std::uint32_t warning;
    } cases[] = {
        { Option::Archives | Option::MacroHeuristics | Option::HeuristicsHigh, ResultFlag::Warning, 0x100 },
        { Option::Archives | Option::MacroHeuristics | Option::HeuristicsLow, ResultFlag::Warning, 0x100 },
        { Option::Archives | Option::HeuristicsHigh, 0, 0 },
        { Option::Archives, 0, 0 },
    };
    for (const auto& c : cases) {
        const FileTestRecord record = test(engine(), path, c.options);
        EXPECT_EQ(record.resultFlags, c.flags) << std::hex << c.options;
        EXPECT_EQ(record.warningCode, c.warning) << std::hex << c.options;
        EXPECT_EQ(record.errorCode, 0) << std::hex << c.options;
    }
}

} // namespace
} // namespace vz::test::engine
