#pragma once

#include "common/engine/scan_engine.h"
#include "common/engine/shared_library.h"
#include "common/settings/profile.h"
#include "common/user_interface.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vz::scan {

enum class ShowMessage { No, Yes };

// What every scan worker puts into a new file test record.
struct JobOptions {
    std::uint16_t options = 0;
    std::string tempFileName;
};

// The windowed program's one engine, open from start-up to exit. Every scan worker
// and the memory scan test with this same engine.
class EngineSession {
public:
    EngineSession(SharedLibraryLoader& loader, UserInterface& ui, std::string installationFolder);
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    // Loads the engine library of the installation folder and starts the engine.
    // 0 on success; on failure 1, with "Error initializing AV-Engine (code)" and the
    // library path shown when asked (code -1 when the library or an entry point is
    // missing), and no library left loaded.
    int start(ShowMessage show);
    // Shuts the engine down and unloads the library; nothing while none is loaded.
    void stop();

    // The engine-loaded flag.
    bool loaded() const { return m_engine != nullptr; }
    // The started engine, or null.
    engine::ScanEngine* engine() const { return m_engine.get(); }
    // The engine information of the last start that succeeded.
    const engine::EngineInfoRecord& infoRecord() const { return m_info; }
    engine::EngineInfo info() const { return engine::decode(m_info); }

private:
    SharedLibraryLoader& m_loader;
    UserInterface& m_ui;
    std::string m_folder;
    std::unique_ptr<engine::ScanEngine> m_engine;
    engine::EngineInfoRecord m_info {};
};

// The engine options and temporary file name of a scan worker, read afresh from the
// settings section `Options` each time a worker starts.
JobOptions jobOptions(const Profile& profile, int workerNumber = 0);

// The reason text of an error code (result flag 2) and of a warning code (flag 4).
// The file and temporary-file errors (23 to 28) add the reason their detail (an
// errno) names, "The file could not be opened (No such file or directory)".
std::string errorText(int errorCode, int errorDetail);
std::string warningText(std::uint32_t warningCode);

} // namespace vz::scan
