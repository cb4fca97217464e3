#pragma once

#include <string_view>

// Where every setting lives: the machine-wide settings key with its values, and the
// sections and values of the per-user profile.
namespace vz::settings {

inline constexpr std::string_view MachineKey = "SOFTWARE\\vantrelo\\Vantrelo Vodazedad";
inline constexpr std::string_view SchedulerKey = "SOFTWARE\\vantrelo\\Vantrelo Vodazedad\\Scheduler";

// Machine-wide values (all REG_SZ).
inline constexpr std::string_view AppDir = "AppDir";
inline constexpr std::string_view Language = "Language";
inline constexpr std::string_view GuardActive = "GuardActive";
inline constexpr std::string_view ShellIntegration = "ShellIntegration";
inline constexpr std::string_view ShellMenuText = "ShellMenuText";

// Profile sections.
inline constexpr std::string_view Options = "Options";
inline constexpr std::string_view Settings = "Settings";
inline constexpr std::string_view Statistics = "Statistics";
inline constexpr std::string_view Scheduler = "Scheduler";
inline constexpr std::string_view QelInet = "qel_inet";

// Options values.
inline constexpr std::string_view OptLanguage = "Language";
inline constexpr std::string_view Skin = "Skin";
inline constexpr std::string_view VisualEffects = "Visual Effects";
inline constexpr std::string_view AutoUpdate = "AutoUpdate";
inline constexpr std::string_view Level = "Level";
inline constexpr std::string_view Action = "Action";
// Threads that test files during a scan; 0 or missing: one per online core.
inline constexpr std::string_view ScanThreads = "ScanThreads";
inline constexpr std::string_view HeuristicLevel = "Heuristic Level";
inline constexpr std::string_view HeuristicMacros = "Heuristic Macros";
inline constexpr std::string_view HeuristicAllMacros = "Heuristic All Macros";
inline constexpr std::string_view ShowInfoReports = "ShowInfoReports";
inline constexpr std::string_view AutoLoad = "AutoLoad";
inline constexpr std::string_view LastFullScan = "lastfullscan";

// Settings, Statistics, Scheduler and qel_inet values.
inline constexpr std::string_view SigPath = "SigPath";
inline constexpr std::string_view ScanCount = "scanCount";
inline constexpr std::string_view FoundCount = "foundCount";
inline constexpr std::string_view RemovedCount = "removedCount";
inline constexpr std::string_view LastUpdate = "lastupdate";
inline constexpr std::string_view InfoChannelId0 = "InfoChannelID_0";
inline constexpr std::string_view InfoChannelUpdatesEnabled = "InfoChannel_-updates-_Enabled";

// Defaults of the profile values.
inline constexpr std::string_view DefaultSkin = "Default";
inline constexpr int DefaultVisualEffectsAtStartup = 1;
inline constexpr int DefaultVisualEffectsOnPreferences = 0;
inline constexpr int DefaultAutoUpdate = 1;
inline constexpr int DefaultLevel = 1;
inline constexpr int DefaultAction = 1;
inline constexpr int DefaultHeuristicLevel = 1;
inline constexpr int DefaultHeuristicMacros = 1;
inline constexpr int DefaultHeuristicAllMacros = 0;
inline constexpr int DefaultShowInfoReports = 0;
inline constexpr int DefaultAutoLoad = 0;

// The untranslated messages of the settings store.
inline constexpr std::string_view ErrorCreatingKey = "Error creating key";
inline constexpr std::string_view NoInstallationPath = "Problem obtaining installation Path. Please contact Vantrelo support";

} // namespace vz::settings
