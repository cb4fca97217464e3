#pragma once

#include "common/registry.h"
#include "common/settings/profile.h"
#include "common/user_interface.h"

#include <string>
#include <string_view>

namespace vz {

// What the windowed program loads at start-up, in this order.
struct StartupOptions {
    std::string appDir;      // always ends with "/"
    std::string language;    // Options Language, else the user's locale's ID
    std::string skin;
    int visualEffectsStored = 1;
    bool visualEffects = false; // the effects start switched off; only the Preferences page turns them on
    int autoUpdate = 1;
    int level = 1;
    int action = 1;
};

// The scan statistics of the per-user profile.
struct ScanStatistics {
    int scanCount = 0;
    int foundCount = 0;
    int removedCount = 0;
};

// The machine-wide settings key and the profile values both programs use. A write to
// the machine-wide key that cannot create or open it shows "Error creating key" and
// changes nothing.
class SettingsStore {
public:
    // `caption` heads the settings store's own message boxes (the program's title).
    SettingsStore(Registry& registry, UserInterface& ui, std::string caption);

    // The installation folder with one final "/". When the value is missing or empty,
    // the folder of the running program (`programFolder`) is used and stored.
    std::string ReadAppDir(std::string_view programFolder);

    std::string ReadGuardActive(std::string_view defaultValue = "1");
    bool WriteGuardActive(std::string_view value);
    // The first character of the value; only its lowest bit counts.
    char ReadShellIntegration(char defaultValue = '1');
    bool WriteShellIntegration(std::string_view value);
    // Writes Options Language and the machine-wide Language.
    bool WriteLanguage(std::string_view languageId);
    // The machine-wide Language, empty when missing (the service's language).
    std::string ReadMachineLanguage();
    bool WriteShellMenuText(std::string_view text);

    // `localeLanguageId` is the user's locale's ID, the default of Options Language.
    StartupOptions LoadOptions(std::string_view programFolder, std::string_view localeLanguageId);

    // Stores Level, Action and Heuristic Level with their defaults where they are
    // missing, as the windowed program does at every start before any scan runs. The
    // first value that could not be stored is the failure (the others are still tried).
    Result<void> StoreMissingScanDefaults();

    ScanStatistics LoadStatistics();
    void SaveStatistics(const ScanStatistics&);

    Profile& profile() { return m_profile; }

    static bool shellIntegrationOn(char first) { return (static_cast<unsigned char>(first) & 1) != 0; }

private:
    bool writeMachineString(std::string_view name, std::string_view value);

    Registry& m_registry;
    UserInterface& m_ui;
    std::string m_caption;
    Profile m_profile;
};

} // namespace vz
