#pragma once

#include "common/registry.h"

#include <string>
#include <vector>

namespace vz::tools {

// What the administrator's registry tool prints and returns.
struct RegCommandOutcome {
    int exitCode = 0;
    std::string out; // for standard output
    std::string err; // for standard error
};

// Runs one command of the tool's grammar against the registry:
//   query KEY [/v NAME]
//   add KEY /v NAME /t REG_SZ|REG_DWORD /d DATA [/f]
//   delete KEY /v NAME [/f]
// KEY begins with HKLM\ or HKCU\ (or the long root names).
RegCommandOutcome runRegCommand(Registry& registry, const std::vector<std::string>& arguments);

std::string regUsage();

} // namespace vz::tools
