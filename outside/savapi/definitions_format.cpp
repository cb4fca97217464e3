#include "outside/savapi/definitions_format.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace vz::savapi {

namespace {

constexpr std::string_view Magic { "VZVDF\r\n\x1a", 8 };

// The parsers a definitions file may feed: the plain database types libclamav loads,
// and whole signed containers, which libclamav checks at every load (a .cvd by its
// digital signature, a .cld by the signed list of its files).
// Plain bytecode (.cbc) stays out: the definitions file carries no signature of its own,
// so bytecode in it could be anyone's code; bytecode comes only inside a container.
constexpr std::array<std::string_view, 25> AcceptedExtensions {
    ".ndb", ".hdb", ".hsb", ".ldb", ".mdb", ".msb", ".cdb", ".idb", ".imp", ".fp", ".sfp",
    ".ign", ".ign2", ".ftm", ".pdb", ".gdb", ".wdb", ".crb", ".pwdb", ".cfg", ".yar", ".yara",
    ".cat", ".cvd", ".cld",
};

// The types whose every line is one signature with a detection name.
constexpr std::array<std::string_view, 9> NamedExtensions { ".ndb", ".hdb", ".hsb", ".ldb", ".mdb", ".msb", ".cdb", ".idb", ".imp" };

void put16(std::string& out, std::uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void put64(std::string& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::uint64_t get(std::string_view bytes, std::size_t at, int width)
{
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

void set32(std::string& out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}

ParseResult fail(ParseStatus status, std::string problem)
{
    ParseResult result;
    result.status = status;
    result.problem = std::move(problem);
    return result;
}

bool endsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

} // namespace

std::uint32_t Definitions::signatures() const
{
    std::uint32_t total = 0;
    for (const auto& section : sections)
        total += section.signatures;
    return total;
}

std::uint32_t crc32(std::string_view bytes)
{
    uLong crc = ::crc32(0L, Z_NULL, 0);
    // zlib takes at most a uInt at a time.
    while (!bytes.empty()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(piece));
        bytes.remove_prefix(piece);
    }
    return static_cast<std::uint32_t>(crc);
}

bool isAcceptedDatabaseName(std::string_view name)
{
    if (name.empty() || name.size() > 64 || name.front() == '.')
        return false;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!plain)
            return false;
    }
    for (auto extension : AcceptedExtensions) {
        if (name.size() > extension.size() && endsWith(name, extension))
            return true;
    }
    return false;
}

bool declaresDetectionNames(std::string_view databaseName)
{
    for (auto extension : NamedExtensions) {
        if (endsWith(databaseName, extension))
            return true;
    }
    return false;
}

void forEachSignatureName(std::string_view databaseName, std::string_view data, const std::function<void(std::string_view)>& each)
{
    if (!declaresDetectionNames(databaseName))
        return;
    // Hash databases carry the name in the third field; the others in the first.
    const bool hashType = endsWith(databaseName, ".hdb") || endsWith(databaseName, ".hsb") || endsWith(databaseName, ".mdb") || endsWith(databaseName, ".msb") || endsWith(databaseName, ".imp");
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string_view::npos)
            end = data.size();
        std::string_view line = data.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        std::string_view field = line;
        if (hashType) {
            for (int skip = 0; skip < 2; ++skip) {
                const auto colon = field.find(':');
                field = colon == std::string_view::npos ? std::string_view {} : field.substr(colon + 1);
            }
        }
        field = field.substr(0, field.find_first_of(":;"));
        if (!field.empty())
            each(field);
    }
}

std::vector<std::string> signatureNames(std::string_view databaseName, std::string_view data)
{
    std::vector<std::string> names;
    forEachSignatureName(databaseName, data, [&](std::string_view name) { names.emplace_back(name); });
    return names;
}

std::string serializeDefinitions(const Definitions& definitions)
{
    std::string out;
    out.append(Magic);
    put16(out, FormatMajor);
    put16(out, definitions.formatMinor);
    put32(out, HeaderSize);
    put16(out, definitions.year);
    out.push_back(static_cast<char>(definitions.month));
    out.push_back(static_cast<char>(definitions.day));
    for (auto v : definitions.version)
        out.push_back(static_cast<char>(v));
    put32(out, definitions.signatures());
    put32(out, static_cast<std::uint32_t>(definitions.sections.size()));
    put64(out, 0); // total size, set below
    put32(out, 0); // body checksum, set below
    put32(out, 0); // header checksum, set below

    for (const auto& section : definitions.sections) {
        const std::size_t at = out.size();
        put32(out, 0);
        put16(out, section.type);
        put16(out, section.repairable ? SectionFlagRepairable : 0);
        put32(out, section.signatures);
        put16(out, static_cast<std::uint16_t>(section.name.size()));
        out.push_back(static_cast<char>(section.repairMethod));
        out.push_back(0);
        put16(out, static_cast<std::uint16_t>(section.beginMarker.size()));
        put16(out, static_cast<std::uint16_t>(section.endMarker.size()));
        put32(out, static_cast<std::uint32_t>(section.data.size()));
        out += section.name;
        out += section.beginMarker;
        out += section.endMarker;
        out += section.data;
        set32(out, at, static_cast<std::uint32_t>(out.size() - at));
    }

    const std::uint64_t total = out.size();
    for (int i = 0; i < 8; ++i)
        out[32 + static_cast<std::size_t>(i)] = static_cast<char>((total >> (8 * i)) & 0xff);
    set32(out, 40, crc32(std::string_view(out).substr(HeaderSize)));
    set32(out, 44, crc32(std::string_view(out).substr(0, 44)));
    return out;
}

namespace {

ParseResult checkHeader(std::string_view bytes, std::uint64_t& total)
{
    // A file shorter than its header is one whose writer has not finished yet, unless
    // what is there already is not a definitions file.
    if (bytes.size() < HeaderSize) {
        if (bytes.substr(0, std::min(bytes.size(), Magic.size())) != Magic.substr(0, std::min(bytes.size(), Magic.size())))
            return fail(ParseStatus::Corrupt, "not a definitions file");
        return fail(ParseStatus::Incomplete, "shorter than its header");
    }
    if (bytes.substr(0, Magic.size()) != Magic)
        return fail(ParseStatus::Corrupt, "not a definitions file");
    if (get(bytes, 44, 4) != crc32(bytes.substr(0, 44)))
        return fail(ParseStatus::Corrupt, "header checksum mismatch");
    if (get(bytes, 8, 2) != FormatMajor)
        return fail(ParseStatus::Corrupt, "unsupported format " + std::to_string(get(bytes, 8, 2)));
    const std::uint64_t headerSize = get(bytes, 12, 4);
    total = get(bytes, 32, 8);
    if (headerSize < HeaderSize || headerSize > total)
        return fail(ParseStatus::Corrupt, "bad header size");
    ParseResult ok;
    ok.status = ParseStatus::Ok;
    return ok;
}

} // namespace

ParseStatus checkDefinitionsHeader(std::string_view bytes, std::uint64_t& declaredSize)
{
    return checkHeader(bytes, declaredSize).status;
}

ParseResult parseDefinitions(std::string_view bytes)
{
    std::uint64_t total = 0;
    if (ParseResult header = checkHeader(bytes, total); header.status != ParseStatus::Ok)
        return header;
    const std::uint64_t headerSize = get(bytes, 12, 4);
    if (bytes.size() < total)
        return fail(ParseStatus::Incomplete, "shorter than its header says");
    if (bytes.size() > total)
        return fail(ParseStatus::Corrupt, "longer than its header says");
    if (get(bytes, 40, 4) != crc32(bytes.substr(HeaderSize)))
        return fail(ParseStatus::Corrupt, "checksum mismatch");

    ParseResult result;
    Definitions& d = result.definitions;
    d.formatMinor = static_cast<std::uint16_t>(get(bytes, 10, 2));
    d.year = static_cast<std::uint16_t>(get(bytes, 16, 2));
    d.month = static_cast<std::uint8_t>(bytes[18]);
    d.day = static_cast<std::uint8_t>(bytes[19]);
    for (std::size_t i = 0; i < 4; ++i)
        d.version[i] = static_cast<std::uint8_t>(bytes[20 + i]);
    const std::uint64_t declaredSignatures = get(bytes, 24, 4);
    const std::uint64_t sectionCount = get(bytes, 28, 4);

    std::size_t at = headerSize;
    std::uint64_t signatures = 0;
    for (std::uint64_t n = 0; n < sectionCount; ++n) {
        if (total - at < SectionHeaderSize)
            return fail(ParseStatus::Corrupt, "section beyond the end");
        const std::uint64_t size = get(bytes, at, 4);
        const std::uint64_t nameLength = get(bytes, at + 12, 2);
        const std::uint64_t beginLength = get(bytes, at + 16, 2);
        const std::uint64_t endLength = get(bytes, at + 18, 2);
        const std::uint64_t dataLength = get(bytes, at + 20, 4);
        if (size < SectionHeaderSize || size > total - at
            || SectionHeaderSize + nameLength + beginLength + endLength + dataLength > size)
            return fail(ParseStatus::Corrupt, "bad section size");
        const std::uint16_t type = static_cast<std::uint16_t>(get(bytes, at + 4, 2));
        const std::uint32_t sectionSignatures = static_cast<std::uint32_t>(get(bytes, at + 8, 4));
        signatures += sectionSignatures;
        // Sections of a newer type are skipped: a newer build may add them.
        if (type == SectionTypeDatabase) {
            DefinitionsSection section;
            section.type = type;
            section.repairable = (get(bytes, at + 6, 2) & SectionFlagRepairable) != 0;
            section.signatures = sectionSignatures;
            std::size_t p = at + SectionHeaderSize;
            section.name = std::string(bytes.substr(p, nameLength));
            p += nameLength;
            section.repairMethod = static_cast<RepairMethod>(static_cast<std::uint8_t>(bytes[at + 14]));
            section.beginMarker = std::string(bytes.substr(p, beginLength));
            p += beginLength;
            section.endMarker = std::string(bytes.substr(p, endLength));
            p += endLength;
            section.data = std::string(bytes.substr(p, dataLength));
            if (!isAcceptedDatabaseName(section.name))
                return fail(ParseStatus::Corrupt, "bad database name");
            if (section.repairMethod == RepairMethod::StripAppendedBlock && (section.beginMarker.empty() || section.endMarker.empty()))
                return fail(ParseStatus::Corrupt, "repair markers missing");
            d.sections.push_back(std::move(section));
        }
        at += size;
    }
    if (at != total)
        return fail(ParseStatus::Corrupt, "bytes after the last section");
    if (signatures != declaredSignatures)
        return fail(ParseStatus::Corrupt, "signature count mismatch");
    result.status = ParseStatus::Ok;
    return result;
}

} // namespace vz::savapi
