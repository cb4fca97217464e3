#include "vodazedad/shell/preferences_page.h"

#include "common/lang/local_text.h"
#include "common/result.h"
#include "common/settings/settings_names.h"

#include <algorithm>

namespace vz {

namespace {

// Settings are written the moment a control changes; a hive that refuses writes was
// already reported when the program opened it, and the control keeps showing the
// value chosen.
constexpr const char* SettingWrittenOnChange = "a refused write was reported when the settings were opened";

constexpr int OnceADay = 5;

struct TextPair {
    const char* nameKey;
    const char* name;
    const char* descriptionKey;
    const char* description;
};

constexpr TextPair LevelTexts[] = {
    { "speed0", "High Speed", "level0", "To reduce scan time, archives and email databases are not scanned" },
    { "speed1", "Recommended", "level1", "All files except email databases are scanned" },
    { "speed2", "Maximum Protection", "level2", "All files, system memory and email databases are scanned" },
};

constexpr TextPair HeuristicTexts[] = {
    { "hlevel0", "Off", "heuristic0", "No Heuristic scanning" },
    { "hlevel1", "High", "heuristichigh", "High level heuristics" },
    { "hlevel2", "Medium", "heuristicmedium", "Medium level heuristics" },
    { "hlevel3", "Low", "heuristiclow", "Low level heuristics" },
};

// Heuristic slider positions top to bottom.
constexpr int HeuristicByPosition[] = { 1, 2, 3, 0 };

} // namespace

int PreferencesPage::heuristicForPosition(int position)
{
    return HeuristicByPosition[std::clamp(position, 0, 3)];
}

int PreferencesPage::positionForHeuristic(int level)
{
    for (int p = 0; p < 4; ++p) {
        if (HeuristicByPosition[p] == level)
            return p;
    }
    return 0;
}

PreferencesPage::PreferencesPage(SettingsStore& settings, MailProtection& mail, UpdateIntervalStore& intervals, bool& visualEffects)
    : m_settings(settings)
    , m_mail(mail)
    , m_intervals(intervals)
    , m_visualEffects(visualEffects)
{
}

void PreferencesPage::create()
{
    Profile& p = m_settings.profile();
    using namespace settings;
    m_view.levelPosition = positionForLevel(std::clamp(p.readInt(Options, Level, DefaultLevel), 0, 2));
    m_view.action = p.readInt(Options, Action, DefaultAction);
    m_view.updatePosition = positionForInterval(std::clamp(m_intervals.updateInterval(), 0, 8));
    m_view.heuristicPosition = positionForHeuristic(p.readInt(Options, HeuristicLevel, DefaultHeuristicLevel));
    m_view.officeMacros = p.readInt(Options, HeuristicMacros, DefaultHeuristicMacros) != 0;
    m_view.removeAllMacros = p.readInt(Options, HeuristicAllMacros, DefaultHeuristicAllMacros) != 0;
    m_view.shellIntegration = SettingsStore::shellIntegrationOn(m_settings.ReadShellIntegration());
    m_view.showInfoReports = p.readInt(Options, ShowInfoReports, DefaultShowInfoReports) != 0;
    m_view.visualEffects = p.readInt(Options, VisualEffects, DefaultVisualEffectsOnPreferences) != 0;
    m_visualEffects = m_view.visualEffects;
    handleSliders();
}

void PreferencesPage::handleSliders()
{
    Profile& p = m_settings.profile();
    using namespace settings;

    int level = levelForPosition(m_view.levelPosition);
    ignoreError(p.writeInt(Options, Level, level), SettingWrittenOnChange);
    ignoreError(p.writeInt(Options, Action, m_view.action), SettingWrittenOnChange);
    m_view.levelName = LocalText(LevelTexts[level].nameKey, LevelTexts[level].name);
    m_view.levelDescription = LocalText(LevelTexts[level].descriptionKey, LevelTexts[level].description);
    m_mail.ApplyMailProtection(level);

    int interval = intervalForPosition(m_view.updatePosition);
    m_intervals.storeUpdateInterval(interval);
    m_view.intervalText = updateIntervalText(interval);
    m_view.intervalControlsEnabled = p.readInt(Options, AutoUpdate, DefaultAutoUpdate) == 1;

    int heuristic = heuristicForPosition(m_view.heuristicPosition);
    ignoreError(p.writeInt(Options, HeuristicLevel, heuristic), SettingWrittenOnChange);
    m_view.heuristicName = LocalText(HeuristicTexts[heuristic].nameKey, HeuristicTexts[heuristic].name);
    m_view.heuristicDescription = LocalText(HeuristicTexts[heuristic].descriptionKey, HeuristicTexts[heuristic].description);
    m_view.macroBoxesEnabled = heuristic != 0;
}

void PreferencesPage::moveLevelSlider(int position)
{
    m_view.levelPosition = std::clamp(position, 0, 2);
    handleSliders();
}

void PreferencesPage::chooseAction(int action)
{
    m_view.action = action;
    ignoreError(m_settings.profile().writeInt(settings::Options, settings::Action, action), SettingWrittenOnChange);
}

void PreferencesPage::moveUpdateSlider(int position)
{
    m_view.updatePosition = std::clamp(position, 1, 9);
    handleSliders();
}

void PreferencesPage::moveHeuristicSlider(int position)
{
    m_view.heuristicPosition = std::clamp(position, 0, 3);
    handleSliders();
}

void PreferencesPage::setOfficeMacros(bool on)
{
    m_view.officeMacros = on;
    ignoreError(m_settings.profile().writeInt(settings::Options, settings::HeuristicMacros, on ? 1 : 0), SettingWrittenOnChange);
}

void PreferencesPage::setRemoveAllMacros(bool on)
{
    m_view.removeAllMacros = on;
    ignoreError(m_settings.profile().writeInt(settings::Options, settings::HeuristicAllMacros, on ? 1 : 0), SettingWrittenOnChange);
}

void PreferencesPage::setShellIntegration(bool on)
{
    if (m_settings.WriteShellIntegration(on ? "1" : "0"))
        m_view.shellIntegration = on;
}

void PreferencesPage::setShowInfoReports(bool on)
{
    m_view.showInfoReports = on;
    ignoreError(m_settings.profile().writeInt(settings::Options, settings::ShowInfoReports, on ? 1 : 0), SettingWrittenOnChange);
}

void PreferencesPage::setVisualEffects(bool on)
{
    m_view.visualEffects = on;
    m_visualEffects = on;
    ignoreError(m_settings.profile().writeInt(settings::Options, settings::VisualEffects, on ? 1 : 0), SettingWrittenOnChange);
}

void PreferencesPage::restoreScanDefaults()
{
    chooseAction(settings::DefaultAction);
    moveLevelSlider(positionForLevel(settings::DefaultLevel));
}

void PreferencesPage::restoreUpdateDefaults()
{
    moveUpdateSlider(positionForInterval(OnceADay));
}

void PreferencesPage::restoreHeuristicDefaults()
{
    m_view.heuristicPosition = positionForHeuristic(settings::DefaultHeuristicLevel);
    setOfficeMacros(settings::DefaultHeuristicMacros != 0);
    setRemoveAllMacros(settings::DefaultHeuristicAllMacros != 0);
    handleSliders();
}

void PreferencesPage::restoreOtherDefaults()
{
    setShellIntegration(true);
}

void switchAutomaticUpdates(Profile& profile, UpdateIntervalStore& intervals)
{
    int on = profile.readInt(settings::Options, settings::AutoUpdate, settings::DefaultAutoUpdate) == 1 ? 0 : 1;
    ignoreError(profile.writeInt(settings::Options, settings::AutoUpdate, on), SettingWrittenOnChange);
    if (on && intervals.updateInterval() == 0)
        intervals.storeUpdateInterval(OnceADay);
}

} // namespace vz
