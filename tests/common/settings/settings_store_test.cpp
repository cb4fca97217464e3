#include "common/settings/settings_store.h"

#include "common/settings/settings_names.h"
#include "platform/registry/sqlite_registry.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vz {

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    SettingsStoreTest() { ::chmod(dir.path().c_str(), 0755); }

    std::unique_ptr<Registry> openRegistry() { return platform::openRegistry(platform::RegistryLocation::inFolder(dir.path())); }

    void setMachine(std::string_view name, const RegValue& value)
    {
        auto key = registry->createKey(Hive::LocalMachine, settings::MachineKey);
        ASSERT_TRUE(key.ok());
        ASSERT_TRUE((*key)->set(name, value).ok());
    }

    std::optional<RegValue> machine(std::string_view name)
    {
        auto key = registry->openKey(Hive::LocalMachine, settings::MachineKey, KeyAccess::Read);
        return key ? (*key)->query(name) : std::nullopt;
    }

    test::TempDir dir;
    std::unique_ptr<Registry> registry = openRegistry();
    test::RecordingUserInterface ui;
    SettingsStore store { *registry, ui, "Vodazedad" };
};

} // namespace

TEST_F(SettingsStoreTest, MissingAppDirIsTakenFromTheProgramAndStored)
{
    EXPECT_EQ(store.ReadAppDir("/opt/vodazedad"), "/opt/vodazedad/");
    EXPECT_EQ(machine(settings::AppDir), RegValue::string("/opt/vodazedad"));
    // A later start reads it back, whatever folder the program now runs from.
    auto reopened = openRegistry();
    SettingsStore later(*reopened, ui, "Vodazedad");
    EXPECT_EQ(later.ReadAppDir("/somewhere/else"), "/opt/vodazedad/");
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SettingsStoreTest, AppDirEndsWithExactlyOneSeparator)
{
    struct Case {
        RegValue stored;
        const char* expected;
    } cases[] = {
        { RegValue::string("/opt/vodazedad"), "/opt/vodazedad/" },
        { RegValue::string("/opt/vodazedad/"), "/opt/vodazedad/" },
        { RegValue::string(""), "/prog/dir/" },     // empty counts as missing
        { RegValue::dword(5), "/prog/dir/" },       // so does a value of another type
    };
    for (const auto& c : cases) {
        setMachine(settings::AppDir, c.stored);
        EXPECT_EQ(store.ReadAppDir("/prog/dir/"), c.expected) << c.stored.text;
    }
}

TEST_F(SettingsStoreTest, NoFolderAtAllIsReportedUntranslated)
{
    EXPECT_EQ(store.ReadAppDir(""), "");
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Problem obtaining installation Path. Please contact Vantrelo support");
}

TEST_F(SettingsStoreTest, GuardActiveAndShellIntegration)
{
    EXPECT_EQ(store.ReadGuardActive(), "1");
    EXPECT_TRUE(store.WriteGuardActive("0"));
    EXPECT_EQ(store.ReadGuardActive(), "0");

    struct Case {
        std::optional<std::string> stored;
        bool ticked;
    } cases[] = {
        { std::nullopt, true }, { "0", false }, { "1", true }, { "3abc", true }, { "2", false }, { "", false },
    };
    for (const auto& c : cases) {
        if (c.stored)
            setMachine(settings::ShellIntegration, RegValue::string(*c.stored));
        else if (auto key = registry->createKey(Hive::LocalMachine, settings::MachineKey))
            ignoreError((*key)->remove(settings::ShellIntegration), "a value that was never there is missing all the same");
        EXPECT_EQ(SettingsStore::shellIntegrationOn(store.ReadShellIntegration()), c.ticked) << c.stored.value_or("(missing)");
    }
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SettingsStoreTest, AMachineHiveTheUserCannotWrite)
{
    setMachine(settings::GuardActive, RegValue::string("0"));
    setMachine(settings::ShellIntegration, RegValue::string("0"));
    ::chmod(dir.file("machine.db").c_str(), 0644);
    std::string folder = dir.path();
    bool asExpected = test::runAsUnprivileged([&] {
        auto loc = platform::RegistryLocation::inFolder(folder);
        loc.userHive = "/nonexistent/user.db";
        auto reg = platform::openRegistry(loc);
        test::RecordingUserInterface userUi;
        SettingsStore user(*reg, userUi, "Vodazedad");
        // Full access is refused: the defaults answer.
        if (user.ReadGuardActive() != "1" || user.ReadShellIntegration() != '1')
            return false;
        // The installation folder is still readable... (none is stored here, and none is written)
        if (user.ReadAppDir("/prog") != "/prog/")
            return false;
        if (user.WriteGuardActive("1"))
            return false;
        return userUi.shown.size() == 1 && userUi.shown[0].text == "Error creating key";
    });
    EXPECT_TRUE(asExpected);
    EXPECT_EQ(machine(settings::GuardActive), RegValue::string("0"));
    EXPECT_FALSE(machine(settings::AppDir));
}

TEST_F(SettingsStoreTest, ProfileValuesOfTheWrongTypeReadAsDefaults)
{
    Profile& p = store.profile();
    ASSERT_TRUE(p.writeString("Options", "Level", "2").ok());
    ASSERT_TRUE(p.writeInt("Options", "Skin", 3).ok());
    EXPECT_EQ(p.readInt("Options", "Level", 1), 1);
    EXPECT_EQ(p.readString("Options", "Skin", "Default"), "Default");
    EXPECT_EQ(p.readInt("Options", "Missing", 7), 7);
    EXPECT_EQ(p.readInt("NoSection", "Level", 9), 9);
    ASSERT_TRUE(p.writeInt("Options", "Level", 2).ok());
    EXPECT_EQ(p.readInt("options", "LEVEL", 1), 2);
}

TEST_F(SettingsStoreTest, LoadOptionsGivesDefaultsThenStoredValues)
{
    auto o = store.LoadOptions("/prog", "de-de");
    EXPECT_EQ(o.appDir, "/prog/");
    EXPECT_EQ(o.language, "de-de");
    EXPECT_EQ(o.skin, "Default");
    EXPECT_EQ(o.visualEffectsStored, 1);
    EXPECT_FALSE(o.visualEffects);
    EXPECT_EQ(o.autoUpdate, 1);
    EXPECT_EQ(o.level, 1);
    EXPECT_EQ(o.action, 1);

    EXPECT_TRUE(store.WriteLanguage("en-us"));
    Profile& p = store.profile();
    ASSERT_TRUE(p.writeString("Options", "Skin", "Blue").ok());
    ASSERT_TRUE(p.writeInt("Options", "Visual Effects", 1).ok());
    ASSERT_TRUE(p.writeInt("Options", "Action", 2).ok());
    o = store.LoadOptions("/prog", "de-de");
    EXPECT_EQ(o.language, "en-us");
    EXPECT_EQ(store.ReadMachineLanguage(), "en-us");
    EXPECT_EQ(o.skin, "Blue");
    EXPECT_FALSE(o.visualEffects); // the effects always start switched off
    EXPECT_EQ(o.action, 2);
}

TEST_F(SettingsStoreTest, MissingScanSettingsAreStoredWithTheirDefaults)
{
    Profile& p = store.profile();
    ASSERT_TRUE(p.writeInt("Options", "Action", 2).ok());
    ASSERT_TRUE(store.StoreMissingScanDefaults().ok());
    EXPECT_EQ(p.readInt("Options", "Level", -1), 1);
    EXPECT_EQ(p.readInt("Options", "Action", -1), 2); // a stored value stays
    EXPECT_EQ(p.readInt("Options", "Heuristic Level", -1), 1);
}

TEST_F(SettingsStoreTest, StatisticsRoundTrip)
{
    EXPECT_EQ(store.LoadStatistics().scanCount, 0);
    store.SaveStatistics({ 3, 5, 4 });
    auto s = store.LoadStatistics();
    EXPECT_EQ(s.scanCount, 3);
    EXPECT_EQ(s.foundCount, 5);
    EXPECT_EQ(s.removedCount, 4);
}

} // namespace vz
