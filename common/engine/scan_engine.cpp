#include "common/engine/scan_engine.h"

#include "common/paths.h"

#include <array>
#include <utility>

namespace vz::engine {

namespace {

// The engine library's entry points, C linkage, in the engine's argument order.
using InitFn = int (*)(const char* modulePath, const char* definitionsPath, const char* settingsPath,
    std::uint32_t zero, const std::uint8_t* initRecord, std::uint32_t interfaceNumber, std::uint32_t zero2,
    std::uint32_t* handle, EngineInfoRecord* info, std::uint32_t* unused);
using HandleFn = int (*)(std::uint32_t handle);
using FileFn = int (*)(std::uint32_t handle, FileTestRecord* record);
using MemoryFn = int (*)(std::uint32_t handle, MemoryTestRecord* record);
using VirusListFn = int (*)(std::uint32_t handle, char* buffer, std::uint32_t bufferSize, std::uint32_t* needed);

// The fixed values the programs pass to SAVAPI_Init.
constexpr std::array<std::uint8_t, 4> InitRecord { 1, 0, 0, 0 };
constexpr std::uint32_t InterfaceNumber = 169;

} // namespace

struct ScanEngine::EntryPoints {
    InitFn init = nullptr;
    HandleFn done = nullptr;
    FileFn testFile = nullptr;
    FileFn repairFile = nullptr;
    MemoryFn testMemFile = nullptr;
    HandleFn initThread = nullptr;
    HandleFn doneThread = nullptr;
    VirusListFn getVirusList = nullptr;
};

namespace {

template<typename Fn>
bool fetch(const SharedLibrary& library, std::string_view name, Fn& into)
{
    into = reinterpret_cast<Fn>(library.symbol(name));
    return into != nullptr;
}

Error loadFailure(std::string_view what, std::string_view path)
{
    Error error = Error::withText(std::string(what), std::string(path));
    error.code = LoadFailed;
    return error;
}

} // namespace

EnginePaths EnginePaths::inFolder(std::string_view installationFolder)
{
    std::string folder = paths::withTrailingSeparator(installationFolder);
    return EnginePaths { folder + "SAVAPI.DLL", folder + "AVEWIN32.DLL", folder + "ANTIVIR.VDF", folder + "QelAv.SCH" };
}

Result<std::unique_ptr<ScanEngine>> ScanEngine::start(SharedLibraryLoader& loader, const EnginePaths& paths)
{
    auto library = loader.load(paths.library);
    if (!library)
        return loadFailure("load", paths.library + ": " + library.error().text());

    auto entries = std::make_unique<EntryPoints>();
    const SharedLibrary& lib = **library;
    // Every entry point must exist, also those the programs never call.
    const bool complete = fetch(lib, "SAVAPI_Init", entries->init)
        && fetch(lib, "SAVAPI_Done", entries->done)
        && fetch(lib, "SAVAPI_TestFile", entries->testFile)
        && fetch(lib, "SAVAPI_RepairFile", entries->repairFile)
        && fetch(lib, "SAVAPI_TestMemFile", entries->testMemFile)
        && fetch(lib, "SAVAPI_InitThread", entries->initThread)
        && fetch(lib, "SAVAPI_DoneThread", entries->doneThread)
        && fetch(lib, "SAVAPI_GetVirusList", entries->getVirusList);
    if (!complete)
        return loadFailure("entry point", paths.library);

    std::unique_ptr<ScanEngine> engine(new ScanEngine(std::move(*library), std::move(entries), paths));
    std::uint32_t unused = 0;
    const int answer = engine->m_entries->init(paths.module.c_str(), paths.definitions.c_str(), paths.settings.c_str(), 0,
        InitRecord.data(), InterfaceNumber, 0, &engine->m_handle, &engine->m_info, &unused);
    if (answer != 0) {
        // Not started: nothing to shut down, only the library to unload.
        engine->m_entries->done = nullptr;
        Error error = Error::withText("SAVAPI_Init", paths.definitions);
        error.code = answer;
        return error;
    }
    return engine;
}

ScanEngine::ScanEngine(std::unique_ptr<SharedLibrary> library, std::unique_ptr<EntryPoints> entries, EnginePaths paths)
    : m_library(std::move(library))
    , m_entries(std::move(entries))
    , m_paths(std::move(paths))
{
}

ScanEngine::~ScanEngine()
{
    if (m_entries && m_entries->done)
        m_entries->done(m_handle);
}

int ScanEngine::testFile(FileTestRecord& record) const
{
    return m_entries->testFile(m_handle, &record);
}

int ScanEngine::repairFile(FileTestRecord& record) const
{
    return m_entries->repairFile(m_handle, &record);
}

int ScanEngine::testMemory(MemoryTestRecord& record) const
{
    return m_entries->testMemFile(m_handle, &record);
}

} // namespace vz::engine
