#pragma once

#include "common/result.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The records the scan engine library reads and fills. They keep the engine's 32-bit
// layouts byte for byte (little-endian, packed); a 64-bit value the 32-bit fields
// cannot hold travels in a reserved zero area at the place named below.
namespace vz::engine {

static_assert(std::endian::native == std::endian::little, "the engine records are little-endian");

// Engine options of a test record.
namespace Option {
inline constexpr std::uint16_t Repair = 0x1;
inline constexpr std::uint16_t Archives = 0x8;
inline constexpr std::uint16_t RemoveAllMacros = 0x40;
inline constexpr std::uint16_t MacroHeuristics = 0x1000;
inline constexpr std::uint16_t HeuristicsLow = 0x2000;
inline constexpr std::uint16_t HeuristicsMedium = 0x4000;
inline constexpr std::uint16_t HeuristicsHigh = 0x8000;
// What the guard service always passes: repair allowed, archives.
inline constexpr std::uint16_t Service = Repair | Archives;
} // namespace Option

// Result flags of a test record, also carried by the test calls' return value.
namespace ResultFlag {
inline constexpr std::uint16_t Virus = 0x1;
inline constexpr std::uint16_t Error = 0x2;
inline constexpr std::uint16_t Warning = 0x4;
} // namespace ResultFlag

inline constexpr std::size_t PathFieldBytes = 256;
inline constexpr std::size_t VirusNameBytes = 34;

#pragma pack(push, 1)

// What SAVAPI_Init tells about the engine.
struct EngineInfoRecord {
    std::uint32_t recordSize;        // 0: filled by the engine (sizeof this record)
    std::uint8_t engineMajor;        // 4
    std::uint8_t engineMinor;        // 5
    std::uint8_t engineBuildHigh;    // 6: build shown as 10 * high + low
    std::uint8_t engineBuildLow;     // 7
    std::uint16_t definitionsYear;   // 8
    std::uint8_t definitionsMonth;   // 10
    std::uint8_t definitionsDay;     // 11
    std::uint8_t definitionsVersion[4]; // 12: major, minor, build high, build low
    std::uint8_t moduleVersion[4];   // 16: of the engine module
    std::uint8_t reserved1[12];      // 20
    std::uint32_t knownViruses;      // 32: signatures loaded
    std::uint8_t reserved2[28];      // 36
};

// One file to test (598 bytes), zeroed by the caller.
struct FileTestRecord {
    char filePath[PathFieldBytes];     // 0 (in)
    char tempFileName[PathFieldBytes]; // 256 (in, may be empty)
    std::uint8_t zero1[8];             // 512
    std::uint16_t options;             // 520 (in)
    std::uint16_t resultFlags;         // 522 (out)
    std::uint16_t hasVirusName;        // 524
    char virusName[VirusNameBytes];    // 526
    std::uint16_t repairable;          // 560
    std::uint16_t errorCode;           // 562
    std::uint16_t errorDetail;         // 564
    std::uint32_t warningCode;         // 566
    std::uint8_t zero2[28];            // 570
};

// One process image to test (346 bytes), zeroed by the caller. The 32-bit base field
// holds the low half of the address; the process and the full address travel in the
// reserved area (processId at 8, baseAddress64 at 16).
struct MemoryTestRecord {
    std::uint32_t baseAddress;      // 0: low 32 bits of baseAddress64
    std::uint32_t imageSize;        // 4
    std::uint64_t processId;        // 8
    std::uint64_t baseAddress64;    // 16
    std::uint8_t zero1[244];        // 24
    std::uint16_t options;          // 268 (in)
    std::uint16_t resultFlags;      // 270 (out)
    std::uint16_t hasVirusName;     // 272
    char virusName[VirusNameBytes]; // 274
    std::uint16_t repairable;       // 308
    std::uint16_t errorCode;        // 310
    std::uint16_t errorDetail;      // 312
    std::uint32_t warningCode;      // 314
    std::uint8_t zero2[28];         // 318
};

#pragma pack(pop)

static_assert(sizeof(EngineInfoRecord) == 64);
static_assert(offsetof(EngineInfoRecord, engineMajor) == 4);
static_assert(offsetof(EngineInfoRecord, engineMinor) == 5);
static_assert(offsetof(EngineInfoRecord, engineBuildHigh) == 6);
static_assert(offsetof(EngineInfoRecord, engineBuildLow) == 7);
static_assert(offsetof(EngineInfoRecord, definitionsYear) == 8);
static_assert(offsetof(EngineInfoRecord, definitionsMonth) == 10);
static_assert(offsetof(EngineInfoRecord, definitionsDay) == 11);
static_assert(offsetof(EngineInfoRecord, knownViruses) == 32);

static_assert(sizeof(FileTestRecord) == 598);
static_assert(offsetof(FileTestRecord, tempFileName) == 256);
static_assert(offsetof(FileTestRecord, zero1) == 512);
static_assert(offsetof(FileTestRecord, options) == 520);
static_assert(offsetof(FileTestRecord, resultFlags) == 522);
static_assert(offsetof(FileTestRecord, hasVirusName) == 524);
static_assert(offsetof(FileTestRecord, virusName) == 526);
static_assert(offsetof(FileTestRecord, repairable) == 560);
static_assert(offsetof(FileTestRecord, errorCode) == 562);
static_assert(offsetof(FileTestRecord, errorDetail) == 564);
static_assert(offsetof(FileTestRecord, warningCode) == 566);
static_assert(offsetof(FileTestRecord, zero2) == 570);

static_assert(sizeof(MemoryTestRecord) == 346);
static_assert(offsetof(MemoryTestRecord, imageSize) == 4);
static_assert(offsetof(MemoryTestRecord, processId) == 8);
static_assert(offsetof(MemoryTestRecord, baseAddress64) == 16);
static_assert(offsetof(MemoryTestRecord, options) == 268);
static_assert(offsetof(MemoryTestRecord, resultFlags) == 270);
static_assert(offsetof(MemoryTestRecord, hasVirusName) == 272);
static_assert(offsetof(MemoryTestRecord, virusName) == 274);
static_assert(offsetof(MemoryTestRecord, repairable) == 308);
static_assert(offsetof(MemoryTestRecord, errorCode) == 310);
static_assert(offsetof(MemoryTestRecord, errorDetail) == 312);
static_assert(offsetof(MemoryTestRecord, warningCode) == 314);
static_assert(offsetof(MemoryTestRecord, zero2) == 318);

// The engine information as the programs show it.
struct EngineInfo {
    int major = 0;
    int minor = 0;
    int build = 0; // 10 * build high + build low
    int definitionsYear = 0;
    int definitionsMonth = 0;
    int definitionsDay = 0;
    std::uint32_t knownViruses = 0;
    int definitionsVersion[4] = {}; // major, minor, build high, build low
};
EngineInfo decode(const EngineInfoRecord& record);

// A zeroed file test record for the path. A path that does not fit its field (255
// bytes and the zero) is refused rather than cut, so that no other file is tested.
Result<FileTestRecord> makeFileTestRecord(std::string_view path, std::uint16_t options, std::string_view tempFileName = {});

// A zeroed memory test record for an image of a running process.
MemoryTestRecord makeMemoryTestRecord(std::uint64_t processId, std::uint64_t baseAddress, std::uint32_t imageSize, std::uint16_t options);

// The virus name of a tested record (empty when none is given).
std::string virusName(const FileTestRecord& record);
std::string virusName(const MemoryTestRecord& record);

} // namespace vz::engine
