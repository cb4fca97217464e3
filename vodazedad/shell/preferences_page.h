#pragma once

#include "common/settings/settings_store.h"
#include "vodazedad/shell/mail_protection.h"
#include "vodazedad/shell/update_interval_store.h"

#include <string>

namespace vz {

// What the Preferences page's controls show.
struct PreferencesView {
    // Scan settings: slider positions top to bottom are levels 2, 1, 0.
    int levelPosition = 1;
    std::string levelName;
    std::string levelDescription;
    int action = 1; // the radio buttons: 1 quarantine, 0 clean, 2 delete

    // Scheduled Signature Updates: positions 1 to 9, position p is frequency code 9 - p.
    int updatePosition = 4;
    std::string intervalText;
    bool intervalControlsEnabled = true; // while automatic updates are on

    // Heuristics: positions top to bottom are heuristic levels 1, 2, 3, 0.
    int heuristicPosition = 0;
    std::string heuristicName;
    std::string heuristicDescription;
    bool macroBoxesEnabled = true; // while the heuristic level is not 0
    bool officeMacros = true;
    bool removeAllMacros = false;

    // Other Settings.
    bool shellIntegration = true;
    bool showInfoReports = false;
    bool visualEffects = false;
};

// The Preferences page without its widgets: every control writes its value the moment
// it changes; moving any slider, and creating the page, handles all three slider
// groups again (texts, stored values, the mail interceptor run).
class PreferencesPage {
public:
    // `visualEffects` is the program's in-memory switch of the fade effects.
    PreferencesPage(SettingsStore& settings, MailProtection& mail, UpdateIntervalStore& intervals, bool& visualEffects);

    // Created together with the main window, at every start of the program.
    void create();

    void moveLevelSlider(int position);
    void chooseAction(int action);
    void moveUpdateSlider(int position);
    void moveHeuristicSlider(int position);
    void setOfficeMacros(bool on);
    void setRemoveAllMacros(bool on);
    void setShellIntegration(bool on);
    void setShowInfoReports(bool on);
    void setVisualEffects(bool on);

    void restoreScanDefaults();
    void restoreUpdateDefaults();
    void restoreHeuristicDefaults();
    void restoreOtherDefaults();

    const PreferencesView& view() const { return m_view; }

    static int levelForPosition(int position) { return 2 - position; }
    static int positionForLevel(int level) { return 2 - level; }
    static int intervalForPosition(int position) { return 9 - position; }
    static int positionForInterval(int code) { return 9 - code; }
    static int heuristicForPosition(int position);
    static int positionForHeuristic(int level);

private:
    void handleSliders();

    SettingsStore& m_settings;
    MailProtection& m_mail;
    UpdateIntervalStore& m_intervals;
    bool& m_visualEffects;
    PreferencesView m_view;
};

// The Main Screen's switch of automatic updates: flips AutoUpdate, and when it was
// just switched on while the interval was "never", sets the interval to once a day.
void switchAutomaticUpdates(Profile& profile, UpdateIntervalStore& intervals);

} // namespace vz
