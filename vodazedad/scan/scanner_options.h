#pragma once

#include "vodazedad/scan/scan_targets.h"

#include <optional>
#include <string>
#include <vector>

namespace vz::scan {

// What the command-line scanner was asked to do.
struct ScannerOptions {
    enum class Kind { Paths, Command, Memory, Help };
    Kind kind = Kind::Paths;
    ScanCommand command = ScanCommand::Folder; // for Kind::Command
    std::vector<std::string> paths;            // for Kind::Paths
    std::optional<int> action;                 // --action overrides Options Action
};

// Parses the arguments (without the program name). An error says what is wrong.
struct ParsedScannerOptions {
    std::optional<ScannerOptions> options;
    std::string error;
};
ParsedScannerOptions parseScannerOptions(const std::vector<std::string>& arguments);

std::string scannerUsage();

// The scanner's exit status: 1 when infections were found, else 2 when errors or
// warnings were recorded, else 0.
int scannerExitStatus(long infections, long warnings);

} // namespace vz::scan
