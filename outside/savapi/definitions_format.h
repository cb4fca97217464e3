#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// ANTIVIR.VDF, the engine's definitions file: a header with the definitions date and
// version, then sections of libclamav signatures. Integers are little-endian.
//
// Header (headerSize bytes, 48 in format 1.0):
//    0  8  magic "VZVDF\r\n\x1a"
//    8  2  format major (a reader loads only its own major)
//   10  2  format minor (newer minors only add fields and section types)
//   12  4  header size
//   16  2  year, 18 1 month, 19 1 day of the definitions
//   20  4  definitions version: major, minor, build high, build low
//   24  4  signatures in all sections
//   28  4  number of sections
//   32  8  size of the whole file
//   40  4  CRC-32 of every byte from offset 48 to the end
//   44  4  CRC-32 of header bytes 0..43
// Section (sectionSize bytes; a reader skips what it does not know):
//    0  4  section size
//    4  2  type (1: a libclamav database)
//    6  2  flags (1: detections of this section are repairable)
//    8  4  signatures in the section
//   12  2  name length, 14 1 repair method, 15 1 zero
//   16  2  begin marker length, 18 2 end marker length
//   20  4  data length
//   24     name, begin marker, end marker, data
namespace vz::savapi {

inline constexpr std::uint16_t FormatMajor = 1;
inline constexpr std::uint16_t FormatMinor = 0;
inline constexpr std::uint32_t HeaderSize = 48;
inline constexpr std::uint32_t SectionHeaderSize = 24;
inline constexpr std::uint16_t SectionTypeDatabase = 1;
inline constexpr std::uint16_t SectionFlagRepairable = 1;

enum class RepairMethod : std::uint8_t {
    None = 0,
    // The detection is a block appended to a host file: it starts with the begin
    // marker and ends with the end marker at the end of the file. Repair cuts the
    // file where the block begins.
    StripAppendedBlock = 1,
};

struct DefinitionsSection {
    std::uint16_t type = SectionTypeDatabase;
    bool repairable = false;
    std::uint32_t signatures = 0;
    std::string name; // a libclamav database file name: its extension picks the parser
    RepairMethod repairMethod = RepairMethod::None;
    std::string beginMarker;
    std::string endMarker;
    std::string data;
};

struct Definitions {
    std::uint16_t formatMinor = FormatMinor;
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t version[4] {};
    std::vector<DefinitionsSection> sections;

    std::uint32_t signatures() const;
};

enum class ParseStatus {
    Ok,
    Incomplete, // shorter than its header says: still being written
    Corrupt,    // wrong magic, format, checksum or structure
};

struct ParseResult {
    ParseStatus status = ParseStatus::Corrupt;
    Definitions definitions;
    std::string problem;
};

ParseResult parseDefinitions(std::string_view bytes);

// Checks the header at the start of bytes (magic, checksum, format, sizes) and answers
// the size of the whole file it declares. Incomplete when fewer bytes than a header
// are given and they start like one.
ParseStatus checkDefinitionsHeader(std::string_view bytes, std::uint64_t& declaredSize);
std::string serializeDefinitions(const Definitions& definitions);

// A database file name the engine accepts: a plain name with a known signature type.
bool isAcceptedDatabaseName(std::string_view name);

// Whether every line of a database of this type is one signature with a detection name
// (body, hash, logical, container, icon and import signatures); allow lists, ignore
// lists, phishing, configuration, rule and bytecode types are not.
bool declaresDetectionNames(std::string_view databaseName);

// The detection names declared by a database's lines (by its file type); none for a
// type that declares no detection names.
std::vector<std::string> signatureNames(std::string_view databaseName, std::string_view data);
// The same names one by one, without a list of them (a database may declare millions).
void forEachSignatureName(std::string_view databaseName, std::string_view data, const std::function<void(std::string_view)>& each);

std::uint32_t crc32(std::string_view bytes);

} // namespace vz::savapi
