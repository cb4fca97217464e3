#pragma once

#include <cstddef>
#include <cstdint>

// The interface between the engine library (SAVAPI.DLL) and its engine module
// (AVEWIN32.DLL), which holds the detection: the library loads the module by path and
// asks it for this table. Plain C types only, so that either side may be rebuilt alone.
extern "C" {

#define AVE_INTERFACE_VERSION 2u

// Answers of create(), which SAVAPI_Init passes on.
enum AveStatus : int {
    AveOk = 0,
    AveBadArguments = 1,
    AveDefinitionsBusy = 2,      // locked or half written: try again
    AveModuleUnusable = 3,
    AveDefinitionsMissing = 4,
    AveDefinitionsCorrupt = 5,
    AveSettingsInvalid = 6,
    AveTemporaryFolderUnusable = 7,
    AveEngineFailure = 8,
};

struct AveSettings {
    const char* temporaryParent; // where the engine makes its private folder
    std::uint64_t maxFileSize;   // 0: libclamav's default
    std::uint64_t maxScanSize;
    std::uint32_t maxRecursion;
    std::uint32_t maxFiles;
    std::uint32_t verdictCacheEntries; // clean verdicts kept; 0: no verdict cache
};

struct AveDefinitionsInfo {
    std::uint16_t year;
    std::uint8_t month;
    std::uint8_t day;
    std::uint8_t version[4];
    std::uint32_t signatures; // loaded into the engine
    std::uint8_t engineVersion[3]; // of the detecting library: major, minor, patch
};

// The outcome of one test or repair, in the fields of the test records.
struct AveResult {
    std::uint16_t flags;
    std::uint16_t repairable;
    std::uint16_t errorCode;
    std::uint16_t errorDetail;
    std::uint32_t warningCode;
    char virusName[64];
};

struct AveEngine;

struct AveModule {
    std::uint32_t interfaceVersion;
    std::uint8_t moduleVersion[4];
    int (*create)(const char* definitionsPath, const AveSettings* settings, AveEngine** engine, AveDefinitionsInfo* info);
    void (*destroy)(AveEngine* engine);
    void (*scanDescriptor)(const AveEngine* engine, int fd, const char* name, std::uint16_t options, AveResult* result);
    void (*scanMemory)(const AveEngine* engine, const void* data, std::size_t size, const char* name, std::uint16_t options, AveResult* result);
    // Repairs the open (read-write) file of a detection named virusName.
    void (*repairDescriptor)(const AveEngine* engine, int fd, const char* virusName, AveResult* result);
    // The detection names, each ended by "\n"; answers the bytes needed.
    std::size_t (*virusNames)(const AveEngine* engine, char* buffer, std::size_t size);
};

// The module's one export; null when it does not speak the asked interface version.
const AveModule* AVE_GetModule(std::uint32_t interfaceVersion);
typedef const AveModule* (*AveGetModuleFn)(std::uint32_t interfaceVersion);

// What the engines of the process have done since it loaded the module, for tests.
struct AveCounters {
    std::uint64_t enginesCompiled; // libclamav engines compiled
    std::uint64_t filesScanned;    // files handed to libclamav by descriptor
    std::uint64_t cachedVerdicts;  // tests answered "clean" from the verdict cache
};
void AVE_GetCounters(AveCounters* counters);
typedef void (*AveGetCountersFn)(AveCounters* counters);

} // extern "C"

// Error codes of a test record, besides those of libclamav's own conditions.
namespace vz::savapi::code {
inline constexpr std::uint16_t OutOfMemory = 22;
inline constexpr std::uint16_t NotOpened = 23;
inline constexpr std::uint16_t ReadError = 24;
inline constexpr std::uint16_t WriteError = 25;
inline constexpr std::uint16_t TempNotOpened = 26;
inline constexpr std::uint16_t TempReadError = 27;
inline constexpr std::uint16_t TempWriteError = 28;
inline constexpr std::uint16_t EngineError = 30;   // detail: libclamav's error number, 0 for a logged error
inline constexpr std::uint16_t NotRepairable = 31; // detail: 1 when the file was still infected after the cut

inline constexpr std::uint32_t WarningAccessDenied = 0x1;
inline constexpr std::uint32_t WarningMacro = 0x100;
inline constexpr std::uint32_t WarningEncrypted = 0x1000;
inline constexpr std::uint32_t WarningLimitsExceeded = 0x10000;

inline constexpr std::uint16_t FlagVirus = 1;
inline constexpr std::uint16_t FlagError = 2;
inline constexpr std::uint16_t FlagWarning = 4;
} // namespace vz::savapi::code
