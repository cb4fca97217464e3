#include "common/settings/settings_store.h"

#include "common/paths.h"
#include "common/settings/settings_names.h"
#include "common/text.h"

namespace vz {

namespace {

// The installation folder was read into a 256-byte buffer.
constexpr std::size_t AppDirMaxBytes = 255;

} // namespace

SettingsStore::SettingsStore(Registry& registry, UserInterface& ui, std::string caption)
    : m_registry(registry)
    , m_ui(ui)
    , m_caption(std::move(caption))
    , m_profile(registry)
{
}

std::string SettingsStore::ReadAppDir(std::string_view programFolder)
{
    std::string folder;
    if (auto key = m_registry.openKey(Hive::LocalMachine, settings::MachineKey, KeyAccess::Read)) {
        if (auto v = (*key)->query(settings::AppDir); v && v->type == RegType::String)
            folder = std::string(text::truncateUtf8(v->text, AppDirMaxBytes));
    }
    if (folder.empty()) {
        folder = std::string(programFolder);
        while (folder.size() > 1 && folder.back() == paths::Separator)
            folder.pop_back();
        // Stored only where this user may write the machine-wide key; nothing is said otherwise.
        if (!folder.empty()) {
            if (auto key = m_registry.createKey(Hive::LocalMachine, settings::MachineKey))
                ignoreError((*key)->set(settings::AppDir, RegValue::string(folder)),
                    "the folder found is used all the same; storing it only saves the next start the search");
        }
    }
    if (folder.empty()) {
        m_ui.messageBox(settings::NoInstallationPath, m_caption, MessageIcon::Error, MessageButtons::Ok);
        return {};
    }
    return paths::withTrailingSeparator(folder);
}

std::string SettingsStore::ReadGuardActive(std::string_view defaultValue)
{
    // Opened with full access: a user without administrative rights gets the default.
    auto key = m_registry.openKey(Hive::LocalMachine, settings::MachineKey, KeyAccess::FullAccess);
    if (!key)
        return std::string(defaultValue);
    auto v = (*key)->query(settings::GuardActive);
    if (!v || v->type != RegType::String)
        return std::string(defaultValue);
    return v->text;
}

bool SettingsStore::WriteGuardActive(std::string_view value)
{
    return writeMachineString(settings::GuardActive, value);
}

char SettingsStore::ReadShellIntegration(char defaultValue)
{
    auto key = m_registry.openKey(Hive::LocalMachine, settings::MachineKey, KeyAccess::FullAccess);
    if (!key)
        return defaultValue;
    auto v = (*key)->query(settings::ShellIntegration);
    if (!v || v->type != RegType::String)
        return defaultValue;
    return v->text.empty() ? '\0' : v->text[0];
}

bool SettingsStore::WriteShellIntegration(std::string_view value)
{
    return writeMachineString(settings::ShellIntegration, value);
}

bool SettingsStore::WriteLanguage(std::string_view languageId)
{
    ignoreError(m_profile.writeString(settings::Options, settings::OptLanguage, languageId),
        "the machine-wide value below decides; the user's copy only follows it");
    return writeMachineString(settings::Language, languageId);
}

std::string SettingsStore::ReadMachineLanguage()
{
    auto key = m_registry.openKey(Hive::LocalMachine, settings::MachineKey, KeyAccess::Read);
    if (!key)
        return {};
    auto v = (*key)->query(settings::Language);
    return v && v->type == RegType::String ? v->text : std::string {};
}

bool SettingsStore::WriteShellMenuText(std::string_view text)
{
    return writeMachineString(settings::ShellMenuText, text);
}

StartupOptions SettingsStore::LoadOptions(std::string_view programFolder, std::string_view localeLanguageId)
{
    StartupOptions o;
    o.appDir = ReadAppDir(programFolder);
    o.language = m_profile.readString(settings::Options, settings::OptLanguage, localeLanguageId);
    o.skin = m_profile.readString(settings::Options, settings::Skin, settings::DefaultSkin);
    o.visualEffectsStored = m_profile.readInt(settings::Options, settings::VisualEffects, settings::DefaultVisualEffectsAtStartup);
    o.visualEffects = false;
    o.autoUpdate = m_profile.readInt(settings::Options, settings::AutoUpdate, settings::DefaultAutoUpdate);
    o.level = m_profile.readInt(settings::Options, settings::Level, settings::DefaultLevel);
    o.action = m_profile.readInt(settings::Options, settings::Action, settings::DefaultAction);
    return o;
}

Result<void> SettingsStore::StoreMissingScanDefaults()
{
    Result<void> outcome = Success {};
    constexpr int Missing = -0x7fffffff;
    const std::pair<std::string_view, int> values[] = {
        { settings::Level, settings::DefaultLevel },
        { settings::Action, settings::DefaultAction },
        { settings::HeuristicLevel, settings::DefaultHeuristicLevel },
    };
    for (const auto& [name, value] : values) {
        if (m_profile.readInt(settings::Options, name, Missing) == Missing) {
            auto written = m_profile.writeInt(settings::Options, name, value);
            if (!written && outcome.ok())
                outcome = written;
        }
    }
    return outcome;
}

ScanStatistics SettingsStore::LoadStatistics()
{
    return ScanStatistics {
        m_profile.readInt(settings::Statistics, settings::ScanCount, 0),
        m_profile.readInt(settings::Statistics, settings::FoundCount, 0),
        m_profile.readInt(settings::Statistics, settings::RemovedCount, 0),
    };
}

void SettingsStore::SaveStatistics(const ScanStatistics& s)
{
    // The totals are shown, never relied on: a hive that refuses writes keeps the old ones.
    constexpr const char* why = "statistics that cannot be stored stay at their old values";
    ignoreError(m_profile.writeInt(settings::Statistics, settings::ScanCount, s.scanCount), why);
    ignoreError(m_profile.writeInt(settings::Statistics, settings::FoundCount, s.foundCount), why);
    ignoreError(m_profile.writeInt(settings::Statistics, settings::RemovedCount, s.removedCount), why);
}

bool SettingsStore::writeMachineString(std::string_view name, std::string_view value)
{
    auto key = m_registry.createKey(Hive::LocalMachine, settings::MachineKey);
    if (!key || !(*key)->set(name, RegValue::string(std::string(value))).ok()) {
        m_ui.messageBox(settings::ErrorCreatingKey, m_caption, MessageIcon::Error, MessageButtons::Ok);
        return false;
    }
    return true;
}

} // namespace vz
