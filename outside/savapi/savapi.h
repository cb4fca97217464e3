#pragma once

#include <cstddef>
#include <cstdint>

// The published interface of the engine library SAVAPI.DLL: eight entry points with
// C linkage and the records they read and fill, in their 32-bit layouts
// (little-endian, packed). 64-bit values the 32-bit fields cannot hold travel in the
// memory test record's reserved area: the process id at 8, the full address at 16.
extern "C" {

#pragma pack(push, 1)

struct SAVAPI_ENGINE_INFO {
    std::uint32_t recordSize;
    std::uint8_t engineMajor;
    std::uint8_t engineMinor;
    std::uint8_t engineBuildHigh;
    std::uint8_t engineBuildLow;
    std::uint16_t definitionsYear;
    std::uint8_t definitionsMonth;
    std::uint8_t definitionsDay;
    std::uint8_t definitionsVersion[4];
    std::uint8_t moduleVersion[4];
    std::uint8_t reserved1[12];
    std::uint32_t knownViruses;
    std::uint8_t reserved2[28];
};

struct SAVAPI_FILE_TEST {
    char filePath[256];
    char tempFileName[256];
    std::uint8_t zero1[8];
    std::uint16_t options;
    std::uint16_t resultFlags;
    std::uint16_t hasVirusName;
    char virusName[34];
    std::uint16_t repairable;
    std::uint16_t errorCode;
    std::uint16_t errorDetail;
    std::uint32_t warningCode;
    std::uint8_t zero2[28];
};

struct SAVAPI_MEM_TEST {
    std::uint32_t baseAddress;
    std::uint32_t imageSize;
    std::uint64_t processId;
    std::uint64_t baseAddress64;
    std::uint8_t zero1[244];
    std::uint16_t options;
    std::uint16_t resultFlags;
    std::uint16_t hasVirusName;
    char virusName[34];
    std::uint16_t repairable;
    std::uint16_t errorCode;
    std::uint16_t errorDetail;
    std::uint32_t warningCode;
    std::uint8_t zero2[28];
};

#pragma pack(pop)

// Answers of SAVAPI_Init besides 0.
enum SAVAPI_INIT_STATUS : int {
    SAVAPI_INIT_BAD_ARGUMENTS = 1,
    SAVAPI_INIT_DEFINITIONS_BUSY = 2, // being replaced: try again
    SAVAPI_INIT_MODULE_UNUSABLE = 3,
    SAVAPI_INIT_DEFINITIONS_MISSING = 4,
    SAVAPI_INIT_DEFINITIONS_CORRUPT = 5,
    SAVAPI_INIT_SETTINGS_INVALID = 6,
    SAVAPI_INIT_TEMPORARY_FOLDER = 7,
    SAVAPI_INIT_ENGINE_FAILURE = 8,
};

int SAVAPI_Init(const char* modulePath, const char* definitionsPath, const char* settingsPath, std::uint32_t zero,
    const std::uint8_t* initRecord, std::uint32_t interfaceNumber, std::uint32_t zero2, std::uint32_t* handle,
    SAVAPI_ENGINE_INFO* info, std::uint32_t* unused);
int SAVAPI_Done(std::uint32_t handle);
int SAVAPI_TestFile(std::uint32_t handle, SAVAPI_FILE_TEST* record);
int SAVAPI_RepairFile(std::uint32_t handle, SAVAPI_FILE_TEST* record);
int SAVAPI_TestMemFile(std::uint32_t handle, SAVAPI_MEM_TEST* record);
int SAVAPI_InitThread(std::uint32_t handle);
int SAVAPI_DoneThread(std::uint32_t handle);
// Copies the detection names, each ended by "\n", and a final zero; *needed gets the
// bytes that takes. Answers 0, or 1 when the buffer is too small or the handle unknown.
int SAVAPI_GetVirusList(std::uint32_t handle, char* buffer, std::uint32_t bufferSize, std::uint32_t* needed);

} // extern "C"

static_assert(sizeof(SAVAPI_ENGINE_INFO) == 64);
static_assert(offsetof(SAVAPI_ENGINE_INFO, definitionsYear) == 8);
static_assert(offsetof(SAVAPI_ENGINE_INFO, knownViruses) == 32);
static_assert(sizeof(SAVAPI_FILE_TEST) == 598);
static_assert(offsetof(SAVAPI_FILE_TEST, options) == 520);
static_assert(offsetof(SAVAPI_FILE_TEST, virusName) == 526);
static_assert(offsetof(SAVAPI_FILE_TEST, repairable) == 560);
static_assert(offsetof(SAVAPI_FILE_TEST, warningCode) == 566);
static_assert(sizeof(SAVAPI_MEM_TEST) == 346);
static_assert(offsetof(SAVAPI_MEM_TEST, options) == 268);
static_assert(offsetof(SAVAPI_MEM_TEST, resultFlags) == 270);
static_assert(offsetof(SAVAPI_MEM_TEST, virusName) == 274);
static_assert(offsetof(SAVAPI_MEM_TEST, warningCode) == 314);
