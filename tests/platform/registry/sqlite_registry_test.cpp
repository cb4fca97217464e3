#include "platform/registry/sqlite_registry.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::platform {

namespace {

constexpr const char* Key = "SOFTWARE\\vantrelo\\Vantrelo Vodazedad";

class SqliteRegistryTest : public ::testing::Test {
protected:
    SqliteRegistryTest()
    {
        ::chmod(dir.path().c_str(), 0755); // readable by the unprivileged user of some tests
    }
    std::unique_ptr<Registry> open() { return openRegistry(RegistryLocation::inFolder(dir.path())); }
    test::TempDir dir;
};

} // namespace

TEST_F(SqliteRegistryTest, KeysAndNamesIgnoreCaseAndTypesStayApart)
{
    auto reg = open();
    auto key = reg->createKey(Hive::LocalMachine, Key);
    ASSERT_TRUE(key.ok()) << key.error().text();
    ASSERT_TRUE((*key)->set("AppDir", RegValue::string("/opt/vodazedad/")).ok());
    ASSERT_TRUE((*key)->set("Count", RegValue::dword(7)).ok());

    auto again = reg->openKey(Hive::LocalMachine, "software\\VANTRELO\\vantrelo vodazedad", KeyAccess::Read);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ((*again)->query("APPDIR"), RegValue::string("/opt/vodazedad/"));
    EXPECT_EQ((*again)->query("count"), RegValue::dword(7));
    EXPECT_FALSE((*again)->query("missing"));

    // Writing under another case replaces the one value; the type changes with it.
    ASSERT_TRUE((*key)->set("COUNT", RegValue::string("7")).ok());
    auto values = (*again)->values();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].first, "AppDir");
    EXPECT_EQ(values[1].second, RegValue::string("7"));

    // The two hives are separate.
    EXPECT_FALSE(reg->openKey(Hive::CurrentUser, Key, KeyAccess::Read).ok());
}

TEST_F(SqliteRegistryTest, MissingKeysAndReadOnlyHandles)
{
    auto reg = open();
    EXPECT_FALSE(reg->openKey(Hive::LocalMachine, Key, KeyAccess::Read).ok());
    ASSERT_TRUE(reg->createKey(Hive::CurrentUser, "Software\\Vantrelo\\Vantrelo VodaZedad\\Options").ok());
    // Parents exist too.
    EXPECT_TRUE(reg->openKey(Hive::CurrentUser, "Software\\Vantrelo", KeyAccess::Read).ok());
    auto readOnly = reg->openKey(Hive::CurrentUser, "Software\\Vantrelo", KeyAccess::Read);
    EXPECT_FALSE((*readOnly)->set("x", RegValue::dword(1)).ok());
    auto full = reg->openKey(Hive::CurrentUser, "Software\\Vantrelo\\", KeyAccess::FullAccess);
    ASSERT_TRUE(full.ok());
    ASSERT_TRUE((*full)->set("x", RegValue::dword(1)).ok());
    ASSERT_TRUE((*full)->remove("X").ok());
    EXPECT_FALSE((*full)->query("x"));
    EXPECT_FALSE((*full)->remove("x").ok());
}

TEST_F(SqliteRegistryTest, ValuesSurviveReopening)
{
    {
        auto reg = open();
        auto key = reg->createKey(Hive::LocalMachine, Key);
        ASSERT_TRUE((*key)->set("GuardActive", RegValue::string("0")).ok());
    }
    auto reg = open();
    auto key = reg->openKey(Hive::LocalMachine, Key, KeyAccess::Read);
    ASSERT_TRUE(key.ok());
    EXPECT_EQ((*key)->query("GuardActive"), RegValue::string("0"));
}

TEST_F(SqliteRegistryTest, AHiveTheUserCannotWriteIsReadableButRefusesFullAccess)
{
    {
        auto reg = open();
        auto key = reg->createKey(Hive::LocalMachine, Key);
        ASSERT_TRUE((*key)->set("GuardActive", RegValue::string("0")).ok());
    }
    ::chmod(dir.file("machine.db").c_str(), 0644);
    // The unprivileged user's own user hive lives elsewhere.
    std::string location = dir.path();
    bool asExpected = test::runAsUnprivileged([&] {
        auto loc = RegistryLocation::inFolder(location);
        loc.userHive = "/nonexistent/user.db";
        auto reg = openRegistry(loc);
        auto read = reg->openKey(Hive::LocalMachine, Key, KeyAccess::Read);
        if (!read.ok() || (*read)->query("GuardActive") != RegValue::string("0"))
            return false;
        if ((*read)->set("GuardActive", RegValue::string("1")).ok())
            return false;
        if (reg->openKey(Hive::LocalMachine, Key, KeyAccess::FullAccess).ok())
            return false;
        return !reg->createKey(Hive::LocalMachine, Key).ok();
    });
    EXPECT_TRUE(asExpected);
    auto reg = open();
    EXPECT_EQ((*reg->openKey(Hive::LocalMachine, Key, KeyAccess::Read))->query("GuardActive"), RegValue::string("0"));
}

TEST_F(SqliteRegistryTest, TwoWritingProcessesNeverLoseAValue)
{
    constexpr int perProcess = 150;
    ASSERT_TRUE(open()->createKey(Hive::LocalMachine, Key).ok());
    auto writer = [&](int id) {
        auto reg = open();
        auto key = reg->openKey(Hive::LocalMachine, Key, KeyAccess::FullAccess);
        if (!key.ok())
            return false;
        for (int i = 0; i < perProcess; ++i) {
            if (!(*key)->set("w" + std::to_string(id) + "_" + std::to_string(i), RegValue::dword(static_cast<std::uint32_t>(i))).ok())
                return false;
            if (!(*key)->set("GuardActive", RegValue::string(std::to_string(id))).ok())
                return false;
            if (!reg->createKey(Hive::LocalMachine, std::string(Key) + "\\Scheduler").ok())
                return false;
        }
        return true;
    };
    pid_t children[2];
    for (int id = 0; id < 2; ++id) {
        children[id] = ::fork();
        if (children[id] == 0)
            ::_exit(writer(id) ? 0 : 1);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto key = open()->openKey(Hive::LocalMachine, Key, KeyAccess::Read);
    ASSERT_TRUE(key.ok());
    auto values = (*key)->values();
    EXPECT_EQ(values.size(), static_cast<size_t>(2 * perProcess + 1));
    for (int id = 0; id < 2; ++id) {
        for (int i = 0; i < perProcess; ++i)
            EXPECT_EQ((*key)->query("w" + std::to_string(id) + "_" + std::to_string(i)), RegValue::dword(static_cast<std::uint32_t>(i)));
    }
}

TEST_F(SqliteRegistryTest, APlainUserWithoutAConfigFolderGetsTheUserHiveAndItsFolders)
{
    // A home with no .config: the user hive's folders are made (the new .config private),
    // and a refusal names the real reason.
    std::string home = dir.mkdir("home");
    if (test::runningAsRoot()) {
        ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    }
    std::string machine = dir.file("machine.db");
    bool asExpected = test::runAsUnprivileged([&] {
        RegistryLocation loc { machine, home + "/.config/vodazedad/user.db" };
        auto reg = openRegistry(loc);
        auto key = reg->createKey(Hive::CurrentUser, "Software\\Vantrelo\\Vantrelo VodaZedad\\Options");
        if (!key.ok() || !(*key)->set("Level", RegValue::dword(1)).ok())
            return false;
        struct stat st {};
        if (::stat((home + "/.config").c_str(), &st) != 0 || (st.st_mode & 077) != 0)
            return false;
        if (!reg->openKey(Hive::CurrentUser, "Software\\Vantrelo", KeyAccess::FullAccess).ok())
            return false;
        // A folder this user may not write: refused with EACCES, never a made-up reason.
        RegistryLocation closed { machine, "/proc/vz-none/x/user.db" };
        auto refused = openRegistry(closed)->createKey(Hive::CurrentUser, "Software");
        return !refused.ok() && refused.error().code != 0 && refused.error().text().find("/proc") != std::string::npos;
    });
    EXPECT_TRUE(asExpected);
    EXPECT_TRUE(test::readAll(home + "/.config/vodazedad/user.db").size() > 0);
}

TEST(RegistryLocation, EnvironmentRelocatesBothHives)
{
    {
        test::ScopedEnv env("VODAZEDAD_REGISTRY_DIR", "/tmp/vz-reg/");
        auto loc = RegistryLocation::fromEnvironment();
        EXPECT_EQ(loc.machineHive, "/tmp/vz-reg/machine.db");
        EXPECT_EQ(loc.userHive, "/tmp/vz-reg/user.db");
    }
    test::ScopedEnv env("VODAZEDAD_REGISTRY_DIR", "");
    test::ScopedEnv config("XDG_CONFIG_HOME", "/home/u/.cfg");
    auto loc = RegistryLocation::fromEnvironment();
    EXPECT_EQ(loc.machineHive, "/var/lib/vodazedad/machine.db");
    EXPECT_EQ(loc.userHive, "/home/u/.cfg/vodazedad/user.db");
    test::ScopedEnv noConfig("XDG_CONFIG_HOME", "");
    test::ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(RegistryLocation::fromEnvironment().userHive, "/home/u/.config/vodazedad/user.db");
}

TEST(RegistryRootKey, SplitsTheRoot)
{
    auto r = splitRootKey("HKLM\\SOFTWARE\\vantrelo\\");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, Hive::LocalMachine);
    EXPECT_EQ(r->second, "SOFTWARE\\vantrelo");
    EXPECT_EQ(splitRootKey("hkey_current_user\\Software")->first, Hive::CurrentUser);
    EXPECT_FALSE(splitRootKey("HKCR\\x"));
}

} // namespace vz::platform
