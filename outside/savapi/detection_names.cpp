#include "outside/savapi/detection_names.h"

#include "outside/savapi/ave_module.h"
#include "outside/savapi/definitions_format.h"

#include <cstdio>

namespace vz::savapi {

namespace {

constexpr std::string_view UnofficialSuffix = ".UNOFFICIAL";
constexpr std::size_t RecordNameBytes = 33; // the test records' name field holds 34 with its zero
// A longer name keeps its start and its end (where a signature's number usually is)
// around a short hash of the whole name: 16 + "~" + 6 + "~" + 9 bytes.
constexpr std::size_t KeptStart = 16;
constexpr std::size_t KeptEnd = 9;

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

DetectionKind classifyDetection(std::string_view name)
{
    if (startsWith(name, "Heuristics.Encrypted."))
        return { code::FlagWarning, code::WarningEncrypted };
    if (startsWith(name, "Heuristics.OLE2.ContainsMacros") || startsWith(name, "Heuristics.Macro"))
        return { code::FlagWarning, code::WarningMacro };
    if (startsWith(name, "Heuristics.Limits.Exceeded"))
        return { code::FlagWarning, code::WarningLimitsExceeded };
    return { code::FlagVirus, 0 };
}

std::string recordName(std::string_view name)
{
    if (name.size() > UnofficialSuffix.size() && name.substr(name.size() - UnofficialSuffix.size()) == UnofficialSuffix)
        name.remove_suffix(UnofficialSuffix.size());
    if (name.size() <= RecordNameBytes)
        return std::string(name);
    char hash[8];
    std::snprintf(hash, sizeof hash, "%06x", static_cast<unsigned>(crc32(name) & 0xffffffu));
    std::string shortened(name.substr(0, KeptStart));
    shortened += '~';
    shortened += hash;
    shortened += '~';
    shortened += name.substr(name.size() - KeptEnd);
    return shortened;
}

} // namespace vz::savapi
