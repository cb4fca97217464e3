#pragma once

#include "common/drives.h"

#include <optional>
#include <string>
#include <vector>

namespace vz::scan {

// The scan commands and the targets each one scans.
enum class ScanCommand { EntireSystem, HardDrives, SystemAreas, RemovableMedia, OpticalMedia, Folder, Scheduled };

// The operating system's own folder, the target of a system-areas scan.
inline constexpr const char* SystemFolder = "/usr";

struct ScanTargets {
    int scanType = 6;
    // Nothing: the job asks for a folder. An empty list still runs a job.
    std::optional<std::vector<std::string>> targets;
    // False when the command runs no job at all (no drive of the kind).
    bool runs = true;
};

// The targets of a command from the drive table, in letter order. `scheduledPaths`
// are the folders of a scheduled scan.
ScanTargets targetsFor(ScanCommand command, const std::vector<Drive>& drives, const std::vector<std::string>& scheduledPaths = {});

} // namespace vz::scan
