#include "vodazedad/shell/preferences_page.h"

#include "common/settings/settings_names.h"
#include "platform/registry/sqlite_registry.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

namespace vz {

namespace {

struct RecordingLauncher final : ProgramLauncher {
    Result<void> startHidden(const std::string& program, const std::vector<std::string>&, const std::string& folder) override
    {
        started.push_back(program);
        folders.push_back(folder);
        return Success {};
    }
    std::vector<std::string> started;
    std::vector<std::string> folders;
};

struct MemoryIntervalStore final : UpdateIntervalStore {
    int updateInterval() const override { return code; }
    void storeUpdateInterval(int c) override
    {
        code = c;
        ++stores;
    }
    int code = 5;
    int stores = 0;
};

class PreferencesPageTest : public ::testing::Test {
protected:
    int optionInt(std::string_view name, int def = -99) { return settings.profile().readInt(settings::Options, name, def); }

    test::TempDir dir;
    std::unique_ptr<Registry> registry = platform::openRegistry(platform::RegistryLocation::inFolder(dir.path()));
    test::RecordingUserInterface ui;
    SettingsStore settings { *registry, ui, "Vodazedad" };
    RecordingLauncher launcher;
    MailProtection mail { launcher, ui, "/opt/vodazedad/", "Vantrelo Vodazedad" };
    MemoryIntervalStore intervals;
    bool visualEffects = false;
    PreferencesPage page { settings, mail, intervals, visualEffects };
};

} // namespace

TEST_F(PreferencesPageTest, CreatingThePageStoresEveryMissingValueWithItsDefault)
{
    page.create();
    EXPECT_EQ(optionInt(settings::Level), 1);
    EXPECT_EQ(optionInt(settings::Action), 1);
    EXPECT_EQ(optionInt(settings::HeuristicLevel), 1);
    EXPECT_EQ(intervals.stores, 1);
    EXPECT_EQ(intervals.code, 5);
    ASSERT_EQ(launcher.started, std::vector<std::string> { "/opt/vodazedad/uninstallLSP" });
    EXPECT_EQ(launcher.folders[0], "/opt/vodazedad/");
    EXPECT_TRUE(ui.shown.empty());

    const auto& v = page.view();
    EXPECT_EQ(v.levelPosition, 1);
    EXPECT_EQ(v.levelName, "Recommended");
    EXPECT_EQ(v.levelDescription, "All files except email databases are scanned");
    EXPECT_EQ(v.updatePosition, 4);
    EXPECT_EQ(v.intervalText, "once a day");
    EXPECT_TRUE(v.intervalControlsEnabled);
    EXPECT_EQ(v.heuristicName, "High");
    EXPECT_TRUE(v.macroBoxesEnabled);
    EXPECT_TRUE(v.officeMacros);
    EXPECT_FALSE(v.removeAllMacros);
    EXPECT_TRUE(v.shellIntegration);
    EXPECT_FALSE(v.visualEffects); // 0 is the page's default
}

TEST_F(PreferencesPageTest, LeavingMaximumProtectionRemovesTheInterceptorAndWarnsOnce)
{
    ASSERT_TRUE(settings.profile().writeInt(settings::Options, settings::Level, 2).ok());
    page.create();
    EXPECT_EQ(launcher.started.back(), "/opt/vodazedad/installLSP");
    EXPECT_EQ(page.view().levelName, "Maximum Protection");
    EXPECT_TRUE(ui.shown.empty());

    page.moveLevelSlider(1);
    EXPECT_EQ(launcher.started.back(), "/opt/vodazedad/uninstallLSP");
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Please restart your mail client for the changes to take effect.");
    EXPECT_EQ(ui.shown[0].caption, "Vantrelo Vodazedad");
    EXPECT_EQ(ui.shown[0].icon, MessageIcon::Information);

    // Other sliders handle the level again (the remover runs again) without a warning;
    // moving between levels 0 and 1 never warns.
    page.moveHeuristicSlider(2);
    page.moveLevelSlider(2);
    EXPECT_EQ(launcher.started.size(), 4u);
    EXPECT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(optionInt(settings::Level), 0);
    EXPECT_EQ(page.view().levelName, "High Speed");
}

TEST_F(PreferencesPageTest, SliderPositionsMapToTheirValues)
{
    page.create();
    struct HeuristicCase {
        int position, level;
        const char* name;
        bool macros;
    } heuristics[] = { { 0, 1, "High", true }, { 1, 2, "Medium", true }, { 2, 3, "Low", true }, { 3, 0, "Off", false } };
    for (const auto& c : heuristics) {
        page.moveHeuristicSlider(c.position);
        EXPECT_EQ(optionInt(settings::HeuristicLevel), c.level);
        EXPECT_EQ(page.view().heuristicName, c.name);
        EXPECT_EQ(page.view().macroBoxesEnabled, c.macros);
    }
    struct UpdateCase {
        int position, code;
        const char* text;
    } updates[] = { { 1, 8, "once a week" }, { 4, 5, "once a day" }, { 8, 1, "every hour" }, { 9, 0, "Never check for Updates" } };
    for (const auto& c : updates) {
        page.moveUpdateSlider(c.position);
        EXPECT_EQ(intervals.code, c.code);
        EXPECT_EQ(page.view().intervalText, c.text);
    }
}

TEST_F(PreferencesPageTest, RestoreDefaultsPerGroup)
{
    page.create();
    page.chooseAction(2);
    page.moveLevelSlider(0);
    page.moveUpdateSlider(9);
    page.moveHeuristicSlider(3);
    page.setOfficeMacros(false);
    page.setRemoveAllMacros(true);
    page.setShellIntegration(false);
    EXPECT_EQ(settings.ReadShellIntegration(), '0');

    page.restoreScanDefaults();
    EXPECT_EQ(optionInt(settings::Action), 1);
    EXPECT_EQ(page.view().action, 1);
    EXPECT_EQ(optionInt(settings::Level), 1);
    page.restoreUpdateDefaults();
    EXPECT_EQ(intervals.code, 5);
    page.restoreHeuristicDefaults();
    EXPECT_EQ(optionInt(settings::HeuristicLevel), 1);
    EXPECT_EQ(optionInt(settings::HeuristicMacros), 1);
    EXPECT_EQ(optionInt(settings::HeuristicAllMacros), 0);
    page.restoreOtherDefaults();
    EXPECT_EQ(settings.ReadShellIntegration(), '1');
    EXPECT_TRUE(page.view().shellIntegration);
}

TEST_F(PreferencesPageTest, CheckBoxesWriteAtOnce)
{
    page.create();
    page.setShowInfoReports(true);
    EXPECT_EQ(optionInt(settings::ShowInfoReports), 1);
    page.setVisualEffects(true);
    EXPECT_TRUE(visualEffects);
    EXPECT_EQ(optionInt(settings::VisualEffects), 1);
    page.setVisualEffects(false);
    EXPECT_FALSE(visualEffects);
    EXPECT_EQ(optionInt(settings::VisualEffects), 0);
}

TEST_F(PreferencesPageTest, AutomaticUpdatesSwitch)
{
    ASSERT_TRUE(settings.profile().writeInt(settings::Options, settings::AutoUpdate, 0).ok());
    page.create();
    EXPECT_FALSE(page.view().intervalControlsEnabled);

    intervals.code = 0;
    switchAutomaticUpdates(settings.profile(), intervals);
    EXPECT_EQ(optionInt(settings::AutoUpdate), 1);
    EXPECT_EQ(intervals.code, 5); // switched on while "never": once a day
    switchAutomaticUpdates(settings.profile(), intervals);
    EXPECT_EQ(optionInt(settings::AutoUpdate), 0);
    EXPECT_EQ(intervals.code, 5);
    intervals.code = 2;
    switchAutomaticUpdates(settings.profile(), intervals);
    EXPECT_EQ(intervals.code, 2);
}

} // namespace vz
