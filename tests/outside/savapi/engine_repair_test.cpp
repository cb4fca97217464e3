#include "tests/outside/savapi/engine_samples.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vz::test::engine {
namespace {

using namespace vz::engine;

constexpr std::uint16_t NotRepairable = 31;

class EngineRepair : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_engine = startEngine(builtEngine());
        ASSERT_TRUE(m_engine);
    }
    std::unique_ptr<ScanEngine> m_engine;
    TempDir m_dir;
};

TEST_F(EngineRepair, CutsTheAppendedBlocksAndLeavesTheHostByteForByte)
{
    const std::string host = cleanHost();
    const std::pair<const char*, std::string> cases[] = {
        { "infected once", host + appendedBlock() },
        { "infected twice", host + appendedBlock() + appendedBlock() },
        { "empty host", appendedBlock() },
    };
    for (const auto& [what, content] : cases) {
        const std::string path = m_dir.write("host.bin", content);
        ::chmod(path.c_str(), 0640);
        FileTestRecord record = test(*m_engine, path, Option::Service);
        ASSERT_EQ(record.resultFlags, ResultFlag::Virus) << what;
        ASSERT_EQ(record.repairable, 1) << what;

        EXPECT_EQ(m_engine->repairFile(record), 0) << what;
        EXPECT_EQ(record.errorCode, 0) << what;
        EXPECT_EQ(record.resultFlags & ResultFlag::Error, 0) << what;
        const std::string expected = std::string(what) == "empty host" ? "" : host;
        EXPECT_EQ(readAll(path), expected) << what;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << what << ": repaired in place, its access kept";
        EXPECT_EQ(test(*m_engine, path, Option::Service).resultFlags, 0) << what;
    }
}

TEST_F(EngineRepair, RefusesWhatItCannotRepairAndLeavesTheFileAlone)
{
    struct Case {
        const char* what;
        std::string content;
        std::uint16_t options;
    };
    const Case cases[] = {
        { "a detection of no repairable family", standardTestFile(), Option::Service },
        { "bytes after the block's end", cleanHost() + appendedBlock() + "tail", Option::Service },
        { "a block in a host that is itself infected", standardTestFile() + appendedBlock(), Option::Service },
        { "repair not allowed by the options", cleanHost() + appendedBlock(), Option::Archives },
    };
    for (const auto& c : cases) {
        const std::string path = m_dir.write("sample", c.content);
        FileTestRecord record = test(*m_engine, path, c.options);
        ASSERT_EQ(record.resultFlags, ResultFlag::Virus) << c.what;
        const int answer = m_engine->repairFile(record);
        EXPECT_EQ(answer & ResultFlag::Error, ResultFlag::Error) << c.what;
        EXPECT_EQ(answer, record.resultFlags) << c.what;
        EXPECT_EQ(record.errorCode, NotRepairable) << c.what;
        EXPECT_EQ(readAll(path), c.content) << c.what;
    }
}

TEST_F(EngineRepair, ReportsAFileThatIsGoneSinceItsTest)
{
    const std::string path = m_dir.write("gone", cleanHost() + appendedBlock());
    FileTestRecord record = test(*m_engine, path, Option::Service);
    ASSERT_EQ(record.resultFlags, ResultFlag::Virus);
    std::remove(path.c_str());
    EXPECT_EQ(m_engine->repairFile(record) & ResultFlag::Error, ResultFlag::Error);
    EXPECT_EQ(record.errorCode, 23);
    EXPECT_EQ(record.errorDetail, ENOENT);
}

} // namespace
} // namespace vz::test::engine
