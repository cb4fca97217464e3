#include "tests/outside/savapi/engine_samples.h"

#include "outside/savapi/savapi.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace vz::test::engine {
namespace {

// The entry points called by name, as a program other than ours would call them.
class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto library = platform::DynamicLibrary::open(builtEngine().library);
        ASSERT_TRUE(library.ok());
        m_library = std::make_unique<platform::DynamicLibrary>(std::move(*library));
        init = reinterpret_cast<decltype(init)>(m_library->symbol("SAVAPI_Init"));
        done = reinterpret_cast<decltype(done)>(m_library->symbol("SAVAPI_Done"));
        initThread = reinterpret_cast<decltype(initThread)>(m_library->symbol("SAVAPI_InitThread"));
        doneThread = reinterpret_cast<decltype(doneThread)>(m_library->symbol("SAVAPI_DoneThread"));
        virusList = reinterpret_cast<decltype(virusList)>(m_library->symbol("SAVAPI_GetVirusList"));
        testFile = reinterpret_cast<decltype(testFile)>(m_library->symbol("SAVAPI_TestFile"));
        ASSERT_TRUE(init && done && initThread && doneThread && virusList && testFile);
    }

    int start(std::uint32_t& handle, const std::uint8_t* initRecord, std::uint32_t number, SAVAPI_ENGINE_INFO* info)
    {
        const auto paths = builtEngine();
        std::uint32_t unused = 0;
        return init(paths.module.c_str(), paths.definitions.c_str(), paths.settings.c_str(), 0, initRecord, number, 0, &handle, info, &unused);
    }

    std::unique_ptr<platform::DynamicLibrary> m_library;
    decltype(&SAVAPI_Init) init = nullptr;
    decltype(&SAVAPI_Done) done = nullptr;
    decltype(&SAVAPI_InitThread) initThread = nullptr;
    decltype(&SAVAPI_DoneThread) doneThread = nullptr;
    decltype(&SAVAPI_GetVirusList) virusList = nullptr;
    decltype(&SAVAPI_TestFile) testFile = nullptr;
    const std::uint8_t m_initRecord[4] = { 1, 0, 0, 0 };
};

TEST_F(EntryPoints, InitRefusesArgumentsOtherThanTheFixedOnes)
{
    const std::uint8_t otherRecord[4] = { 2, 0, 0, 0 };
    SAVAPI_ENGINE_INFO info {};
    std::uint32_t handle = 0;
    EXPECT_EQ(start(handle, otherRecord, 169, &info), SAVAPI_INIT_BAD_ARGUMENTS);
    EXPECT_EQ(start(handle, m_initRecord, 168, &info), SAVAPI_INIT_BAD_ARGUMENTS);
    EXPECT_EQ(start(handle, nullptr, 169, &info), SAVAPI_INIT_BAD_ARGUMENTS);
    EXPECT_EQ(start(handle, m_initRecord, 169, nullptr), SAVAPI_INIT_BAD_ARGUMENTS);
    EXPECT_EQ(handle, 0u);
}

TEST_F(EntryPoints, HandlesAreKnownUntilDoneAndListTheDetections)
{
    SAVAPI_ENGINE_INFO info {};
    std::uint32_t handle = 0;
    ASSERT_EQ(start(handle, m_initRecord, 169, &info), 0);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(initThread(handle), 0);
    EXPECT_EQ(doneThread(handle), 0);

    std::uint32_t needed = 0;
    EXPECT_EQ(virusList(handle, nullptr, 0, &needed), 1);
    std::string names(needed, '\0');
    ASSERT_EQ(virusList(handle, names.data(), needed, &needed), 0);
    EXPECT_NE(names.find("Vz-Test.StandardFile\n"), std::string::npos);
    EXPECT_NE(names.find("Vz-Test.AppendedBlock\n"), std::string::npos);

    EXPECT_EQ(done(handle), 0);
    EXPECT_EQ(done(handle), 1) << "a handle is done only once";
    EXPECT_EQ(initThread(handle), 1);
    SAVAPI_FILE_TEST record {};
    const std::string path = engine::testFile("clam.exe");
    std::memcpy(record.filePath, path.c_str(), path.size() + 1);
    EXPECT_EQ(testFile(handle, &record), 2) << "a test with an unknown handle is an error, not clean";
    EXPECT_EQ(record.errorCode, 30);
    EXPECT_EQ(testFile(handle, nullptr), 2);
}

} // namespace
} // namespace vz::test::engine
