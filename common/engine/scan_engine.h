#pragma once

#include "common/engine/engine_records.h"
#include "common/engine/shared_library.h"
#include "common/result.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vz::engine {

// The four files of an engine start, each a full path.
struct EnginePaths {
    std::string library;     // SAVAPI.DLL
    std::string module;      // AVEWIN32.DLL
    std::string definitions; // ANTIVIR.VDF
    std::string settings;    // QelAv.SCH

    // The engine files of an installation folder (which ends with "/").
    static EnginePaths inFolder(std::string_view installationFolder);
};

// What an engine start answers when it fails: the number the user sees.
inline constexpr int LoadFailed = -1; // the library or one of its entry points is missing

// One started engine: the loaded library, its entry points and the engine handle.
// The calls may come from several threads at once (a scan worker and the window
// thread); the engine library serialises what needs it. Destroying it shuts the
// engine down and then unloads the library.
class ScanEngine {
public:
    // Loads the library, fetches its eight entry points and starts the engine with
    // the other three files. Fails with Error::code LoadFailed when the library or an
    // entry point is missing, or with the engine's own non-zero answer (2: the
    // definitions are being replaced, try again); a failed start unloads the library.
    static Result<std::unique_ptr<ScanEngine>> start(SharedLibraryLoader& loader, const EnginePaths& paths);

    ~ScanEngine();
    ScanEngine(const ScanEngine&) = delete;
    ScanEngine& operator=(const ScanEngine&) = delete;

    // Tests the file named in the record; results land in the record. Returns the
    // result flags (ResultFlag).
    int testFile(FileTestRecord& record) const;
    // Repairs the file of a record just tested. 0 in the error code and flag 2 clear
    // in the answer mean the file is clean now.
    int repairFile(FileTestRecord& record) const;
    // Tests the mapped image of a running process.
    int testMemory(MemoryTestRecord& record) const;

    const EngineInfoRecord& infoRecord() const { return m_info; }
    EngineInfo info() const { return decode(m_info); }
    const EnginePaths& paths() const { return m_paths; }

    struct EntryPoints;

private:
    ScanEngine(std::unique_ptr<SharedLibrary> library, std::unique_ptr<EntryPoints> entries, EnginePaths paths);

    // Declared first so that it goes last: the library outlives every call into it.
    std::unique_ptr<SharedLibrary> m_library;
    std::unique_ptr<EntryPoints> m_entries;
    EnginePaths m_paths;
    std::uint32_t m_handle = 0;
    EngineInfoRecord m_info {};
};

} // namespace vz::engine
