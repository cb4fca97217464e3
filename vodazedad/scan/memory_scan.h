#pragma once

#include "common/date_time.h"
#include "common/processes.h"
#include "common/settings/settings_store.h"
#include "common/user_interface.h"
#include "vodazedad/scan/file_tester.h"
#include "vodazedad/scan/scan_job_state.h"
#include "vodazedad/scan/scan_screen.h"

#include <string>

namespace vz::scan {

// The most processes one memory scan looks at.
inline constexpr std::size_t MemoryScanMaxProcesses = 250;

struct MemoryScanContext {
    std::string installationFolder; // ends with "/"
    FileTester& tester;
    ProcessList& processes;
    ScanScreen& screen;
    UserInterface& ui;
    const Clock& clock;
    std::string programTitle;
};

struct MemoryScanOutcome {
    long processesScanned = 0;
    long infections = 0;
    std::string logReportPath; // the name the log entry carries; no such file is written
    bool logged = false;
};

// Tests the program image of every running process the scan may open, tells the user
// of each infected one, and records the scan in the scan log (scan type 1, no report
// file). Nothing is done to an infected process. Runs on the calling (window) thread.
MemoryScanOutcome runMemoryScan(const MemoryScanContext& context, ScanJobState& state, ScanStatistics& totals);

} // namespace vz::scan
