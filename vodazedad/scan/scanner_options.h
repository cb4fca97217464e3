#pragma once

#include "vodazedad/scan/exclusion_patterns.h"
#include "vodazedad/scan/scan_listing.h"
#include "vodazedad/scan/scan_targets.h"

#include <optional>
#include <string>
#include <vector>

namespace vz::scan {

// What the command-line scanner was asked to do.
struct ScannerOptions {
    enum class Kind { Paths, Command, Memory, Help, Version, StandardInput };
    Kind kind = Kind::Paths;
    ScanCommand command = ScanCommand::Folder; // for Kind::Command
    std::vector<std::string> paths;            // for Kind::Paths
    std::optional<int> action;                 // --action overrides Options Action
    Listing listing = Listing::All;            // -i/--infected, --quiet
    bool summary = true;                       // --no-summary
    bool json = false;                         // --json
    ExclusionPatterns exclusions;              // --exclude, --exclude-dir
};

// Parses the arguments (without the program name). An error says what is wrong.
struct ParsedScannerOptions {
    std::optional<ScannerOptions> options;
    std::string error;
};
ParsedScannerOptions parseScannerOptions(const std::vector<std::string>& arguments);

std::string scannerUsage();

// What decides the scanner's exit status.
struct ScanVerdict {
    long infections = 0;
    long warnings = 0;          // errors and warnings on files
    bool aborted = false;       // Ctrl-C or SIGTERM
    long recordsNotWritten = 0;
    long missingTargets = 0;
};

// 1 when infections were found; else 2 when the scan was stopped, a file could not be
// tested, a record could not be written or a target was missing; else 0.
int scannerExitStatus(const ScanVerdict& verdict);

} // namespace vz::scan
