#include "common/engine/scan_engine.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace vz::engine {
namespace {

// Stands in for the engine library where the real one cannot show the case: a
// library without some entry point, or an engine that answers what the test wants.
struct Calls {
    std::vector<std::string> log;
    int initAnswer = 0;
    std::vector<std::string> initArguments;
};
Calls* g_calls = nullptr;

int fakeInit(const char* module, const char* definitions, const char* settings, std::uint32_t zero, const std::uint8_t* initRecord,
    std::uint32_t interfaceNumber, std::uint32_t zero2, std::uint32_t* handle, EngineInfoRecord* info, std::uint32_t* unused)
{
    g_calls->log.push_back("init");
    g_calls->initArguments = { module, definitions, settings, std::to_string(zero),
        std::to_string(initRecord[0]) + std::to_string(initRecord[1]) + std::to_string(initRecord[2]) + std::to_string(initRecord[3]),
        std::to_string(interfaceNumber), std::to_string(zero2), unused ? "word" : "null" };
    if (g_calls->initAnswer != 0)
        return g_calls->initAnswer;
    *handle = 77;
    info->definitionsYear = 2026;
    info->knownViruses = 123;
    return 0;
}
int fakeDone(std::uint32_t handle)
{
    g_calls->log.push_back("done " + std::to_string(handle));
    return 0;
}
int fakeTestFile(std::uint32_t handle, FileTestRecord* record)
{
    g_calls->log.push_back("test " + std::to_string(handle) + " " + record->filePath);
    record->resultFlags = ResultFlag::Virus;
    return ResultFlag::Virus;
}
int fakeRepair(std::uint32_t handle, FileTestRecord*)
{
    g_calls->log.push_back("repair " + std::to_string(handle));
    return 0;
}
int fakeTestMemory(std::uint32_t handle, MemoryTestRecord* record)
{
    g_calls->log.push_back("memory " + std::to_string(handle) + " " + std::to_string(record->processId));
    return 0;
}
int fakeThread(std::uint32_t)
{
    g_calls->log.push_back("thread");
    return 0;
}
int fakeVirusList(std::uint32_t, char*, std::uint32_t, std::uint32_t*)
{
    return 0;
}

const std::map<std::string, void*> AllEntryPoints {
    { "SAVAPI_Init", reinterpret_cast<void*>(&fakeInit) },
    { "SAVAPI_Done", reinterpret_cast<void*>(&fakeDone) },
    { "SAVAPI_TestFile", reinterpret_cast<void*>(&fakeTestFile) },
    { "SAVAPI_RepairFile", reinterpret_cast<void*>(&fakeRepair) },
    { "SAVAPI_TestMemFile", reinterpret_cast<void*>(&fakeTestMemory) },
    { "SAVAPI_InitThread", reinterpret_cast<void*>(&fakeThread) },
    { "SAVAPI_DoneThread", reinterpret_cast<void*>(&fakeThread) },
    { "SAVAPI_GetVirusList", reinterpret_cast<void*>(&fakeVirusList) },
};

class FakeLibrary final : public SharedLibrary {
public:
    explicit FakeLibrary(std::map<std::string, void*> symbols) : m_symbols(std::move(symbols)) { g_calls->log.push_back("load"); }
    ~FakeLibrary() override { g_calls->log.push_back("unload"); }
    void* symbol(std::string_view name) const override
    {
        const auto it = m_symbols.find(std::string(name));
        return it == m_symbols.end() ? nullptr : it->second;
    }

private:
    std::map<std::string, void*> m_symbols;
};

class FakeLoader final : public SharedLibraryLoader {
public:
    Result<std::unique_ptr<SharedLibrary>> load(std::string_view path) override
    {
        loadedPath = std::string(path);
        if (!exists)
            return Error::withText("dlopen", "no such file");
        return std::unique_ptr<SharedLibrary>(std::make_unique<FakeLibrary>(symbols));
    }
    bool exists = true;
    std::map<std::string, void*> symbols = AllEntryPoints;
    std::string loadedPath;
};

class ScanEngineTest : public ::testing::Test {
protected:
    void SetUp() override { g_calls = &m_calls; }
    void TearDown() override { g_calls = nullptr; }
    Calls m_calls;
    FakeLoader m_loader;
    const EnginePaths m_paths = EnginePaths::inFolder("/opt/vz");
};

TEST_F(ScanEngineTest, EnginePathsAreTheFourFilesOfTheInstallationFolder)
{
    for (const char* folder : { "/opt/vz", "/opt/vz/" }) {
        const EnginePaths p = EnginePaths::inFolder(folder);
        EXPECT_EQ(p.library, "/opt/vz/SAVAPI.DLL");
        EXPECT_EQ(p.module, "/opt/vz/AVEWIN32.DLL");
        EXPECT_EQ(p.definitions, "/opt/vz/ANTIVIR.VDF");
        EXPECT_EQ(p.settings, "/opt/vz/QelAv.SCH");
    }
}

TEST_F(ScanEngineTest, AMissingLibraryAnswersMinusOne)
{
    m_loader.exists = false;
    auto engine = ScanEngine::start(m_loader, m_paths);
    ASSERT_FALSE(engine.ok());
    EXPECT_EQ(engine.error().code, LoadFailed);
    EXPECT_EQ(m_loader.loadedPath, "/opt/vz/SAVAPI.DLL");
}

TEST_F(ScanEngineTest, AnyMissingEntryPointAnswersMinusOneAndUnloads)
{
    for (const auto& [name, address] : AllEntryPoints) {
        m_calls.log.clear();
        m_loader.symbols = AllEntryPoints;
        m_loader.symbols.erase(name);
        auto engine = ScanEngine::start(m_loader, m_paths);
        ASSERT_FALSE(engine.ok()) << name;
        EXPECT_EQ(engine.error().code, LoadFailed) << name;
        EXPECT_EQ(m_calls.log, (std::vector<std::string> { "load", "unload" })) << name;
    }
}

TEST_F(ScanEngineTest, AFailedInitAnswersTheEnginesCodeAndUnloadsWithoutShuttingDown)
{
    for (int answer : { 2, 5, -3 }) {
        m_calls.log.clear();
        m_calls.initAnswer = answer;
        auto engine = ScanEngine::start(m_loader, m_paths);
        ASSERT_FALSE(engine.ok());
        EXPECT_EQ(engine.error().code, answer);
        EXPECT_EQ(m_calls.log, (std::vector<std::string> { "load", "init", "unload" }));
    }
}

TEST_F(ScanEngineTest, StartsWithTheFixedArgumentsAndShutsDownBeforeUnloading)
{
    {
        auto engine = ScanEngine::start(m_loader, m_paths);
        ASSERT_TRUE(engine.ok());
        EXPECT_EQ(m_calls.initArguments, (std::vector<std::string> { "/opt/vz/AVEWIN32.DLL", "/opt/vz/ANTIVIR.VDF", "/opt/vz/QelAv.SCH", "0", "1000", "169", "0", "word" }));
        EXPECT_EQ((*engine)->info().definitionsYear, 2026);
        EXPECT_EQ((*engine)->info().knownViruses, 123u);

        auto record = makeFileTestRecord("/x/a.exe", Option::Service);
        EXPECT_EQ((*engine)->testFile(*record), ResultFlag::Virus);
        EXPECT_EQ((*engine)->repairFile(*record), 0);
        MemoryTestRecord memory = makeMemoryTestRecord(99, 0x1000, 10, 0);
        EXPECT_EQ((*engine)->testMemory(memory), 0);
    }
    // Per-thread set-up of the engine is never made.
    EXPECT_EQ(m_calls.log, (std::vector<std::string> { "load", "init", "test 77 /x/a.exe", "repair 77", "memory 77 99", "done 77", "unload" }));
}

} // namespace
} // namespace vz::engine
