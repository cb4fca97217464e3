#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vz::savapi {

// The engine settings of QelAv.SCH, an INI text:
//   [Engine]
//   TempFolder=/var/tmp        where the engine makes its private temporary folder
//   MaxFileSize=104857600      bytes; larger files are not tested
//   MaxScanSize=419430400      bytes taken from one file and its contents
//   MaxRecursion=17            archive nesting
//   MaxFiles=10000             files taken from one archive
//   VerdictCache=200000        clean verdicts kept (VERDICTS.DAT); 0 turns the cache off
// Unset values keep libclamav's defaults.
inline constexpr std::uint32_t DefaultVerdictCacheEntries = 200000;
inline constexpr std::uint32_t MostVerdictCacheEntries = 1u << 22;

struct EngineSettings {
    std::string temporaryParent;
    std::uint64_t maxFileSize = 0;
    std::uint64_t maxScanSize = 0;
    std::uint32_t maxRecursion = 0;
    std::uint32_t maxFiles = 0;
    std::uint32_t verdictCacheEntries = DefaultVerdictCacheEntries;
};

// False when the text carries a value the engine cannot use (a clear error beats a
// setting silently ignored); unknown names and other sections are left alone.
bool parseEngineSettings(std::string_view text, EngineSettings& settings);

} // namespace vz::savapi
