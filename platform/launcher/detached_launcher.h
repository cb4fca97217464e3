#pragma once

#include "common/program_launcher.h"

namespace vz::platform {

// Starts a program detached from this one: its own session, standard streams on
// /dev/null, reaped by init, never waited for. An exec failure is reported.
class DetachedLauncher final : public ProgramLauncher {
public:
    Result<void> startHidden(const std::string& program, const std::vector<std::string>& arguments, const std::string& workingFolder) override;
};

} // namespace vz::platform
