#include "tools/reg/reg_command.h"

#include "platform/registry/sqlite_registry.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

namespace vz::tools {

namespace {

class RegToolTest : public ::testing::Test {
protected:
    RegCommandOutcome run(std::vector<std::string> args) { return runRegCommand(*registry, args); }
    test::TempDir dir;
    std::unique_ptr<Registry> registry = platform::openRegistry(platform::RegistryLocation::inFolder(dir.path()));
};

// Runs the installed program with a shell command line; answers its exit code and output.
std::pair<int, std::string> runProgram(const std::string& commandLine)
{
    std::string output;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe)
        return { -1, {} };
    std::array<char, 256> buf;
    while (std::fgets(buf.data(), buf.size(), pipe))
        output += buf.data();
    int status = ::pclose(pipe);
    return { WIFEXITED(status) ? WEXITSTATUS(status) : -1, output };
}

} // namespace

TEST_F(RegToolTest, AddQueryDeleteRoundTrip)
{
    const std::string key = "HKLM\\SOFTWARE\\vantrelo\\Vantrelo Vodazedad";
    struct Step {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
    } steps[] = {
        { { "query", key }, 1, "" },
        { { "add", key, "/v", "AppDir", "/t", "REG_SZ", "/d", "/opt/vodazedad/" }, 0, "The operation completed successfully.\n" },
        { { "ADD", key, "/v", "Level", "/t", "reg_dword", "/d", "0x10", "/f" }, 0, "The operation completed successfully.\n" },
        { { "query", "hklm\\software\\VANTRELO\\Vantrelo Vodazedad" }, 0, "    AppDir    REG_SZ    /opt/vodazedad/\n    Level    REG_DWORD    0x10\n" },
        { { "query", key, "/v", "appdir" }, 0, "    appdir    REG_SZ    /opt/vodazedad/\n" },
        { { "delete", key, "/v", "Level" }, 0, "The operation completed successfully.\n" },
        { { "delete", key, "/v", "Level" }, 1, "" },
        { { "query", key, "/v", "Level" }, 1, "" },
        { { "add", "HKCU\\Software\\Vantrelo\\Vantrelo VodaZedad\\Settings", "/v", "SigPath", "/t", "REG_SZ", "/d", "http://updates.example/vdf" }, 0, "The operation completed successfully.\n" },
        { { "query", "HKEY_CURRENT_USER\\Software\\Vantrelo\\Vantrelo VodaZedad\\Settings" }, 0, "    SigPath    REG_SZ    http://updates.example/vdf\n" },
    };
    for (const auto& s : steps) {
        auto outcome = run(s.args);
        EXPECT_EQ(outcome.exitCode, s.exitCode) << s.args[0] << " " << outcome.err;
        EXPECT_EQ(outcome.out, s.out) << s.args[0];
    }
}

TEST_F(RegToolTest, BadCommandsSayWhy)
{
    const std::string key = "HKLM\\SOFTWARE\\x";
    std::vector<std::vector<std::string>> bad = {
        { "query" },
        { "query", "HKCR\\x" },
        { "add", key, "/v", "n", "/t", "REG_BINARY", "/d", "00" },
        { "add", key, "/v", "n", "/t", "REG_DWORD", "/d", "twelve" },
        { "add", key, "/v", "n", "/t", "REG_DWORD", "/d", "0x100000000" },
        { "add", key, "/v", "n", "/t", "REG_SZ" },
        { "add", key, "/v" },
        { "rename", key },
    };
    for (const auto& args : bad) {
        auto outcome = run(args);
        EXPECT_NE(outcome.exitCode, 0) << args[0];
        EXPECT_NE(outcome.err.find("ERROR: "), std::string::npos) << args[0];
    }
    EXPECT_FALSE(registry->openKey(Hive::LocalMachine, "SOFTWARE\\x", KeyAccess::Read).ok());
}

TEST_F(RegToolTest, InstalledProgramReadsAndWritesBothHives)
{
    std::string tool = test::builtAppDir() + "vodazedad-reg";
    std::string env = "VODAZEDAD_REGISTRY_DIR='" + dir.path() + "' ";
    auto add = runProgram(env + tool + " add 'HKLM\\SOFTWARE\\vantrelo\\Vantrelo Vodazedad' /v GuardActive /t REG_SZ /d 0");
    EXPECT_EQ(add.first, 0) << add.second;
    auto addUser = runProgram(env + tool + " add 'HKCU\\Software\\Vantrelo\\Vantrelo VodaZedad\\Options' /v Action /t REG_DWORD /d 2");
    EXPECT_EQ(addUser.first, 0) << addUser.second;
    auto q = runProgram(env + tool + " query 'HKLM\\SOFTWARE\\vantrelo\\Vantrelo Vodazedad'");
    EXPECT_EQ(q.first, 0);
    EXPECT_EQ(q.second, "    GuardActive    REG_SZ    0\n");
    // What the program wrote, the registry reads.
    auto key = registry->openKey(Hive::CurrentUser, "Software\\Vantrelo\\Vantrelo VodaZedad\\Options", KeyAccess::Read);
    ASSERT_TRUE(key.ok());
    EXPECT_EQ((*key)->query("Action"), RegValue::dword(2));
}

TEST_F(RegToolTest, ARefusedWriteSaysWhyAndFails)
{
    ASSERT_EQ(run({ "add", "HKLM\\SOFTWARE\\x", "/v", "a", "/t", "REG_SZ", "/d", "1" }).exitCode, 0);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(dir.file("machine.db").c_str(), 0644);
    std::string folder = dir.path();
    bool refused = test::runAsUnprivileged([&] {
        auto loc = platform::RegistryLocation::inFolder(folder);
        auto reg = platform::openRegistry(loc);
        auto outcome = runRegCommand(*reg, { "add", "HKLM\\SOFTWARE\\x", "/v", "a", "/t", "REG_SZ", "/d", "2" });
        auto del = runRegCommand(*reg, { "delete", "HKLM\\SOFTWARE\\x", "/v", "a" });
        return outcome.exitCode == 1 && outcome.err.find("Access is denied") != std::string::npos && del.exitCode == 1
            && del.err.find("Access is denied") != std::string::npos;
    });
    EXPECT_TRUE(refused);
    EXPECT_EQ(run({ "query", "HKLM\\SOFTWARE\\x", "/v", "a" }).out, "    a    REG_SZ    1\n");
}

} // namespace vz::tools
