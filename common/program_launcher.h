#pragma once

#include "common/result.h"

#include <string>
#include <vector>

namespace vz {

// Starts another program of the installation folder hidden, without waiting for it
// and without looking at its result.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    virtual Result<void> startHidden(const std::string& program, const std::vector<std::string>& arguments, const std::string& workingFolder) = 0;
};

} // namespace vz
