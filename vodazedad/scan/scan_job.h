#pragma once

#include "common/date_time.h"
#include "common/drives.h"
#include "common/folder.h"
#include "common/service_command.h"
#include "common/settings/profile.h"
#include "common/settings/settings_store.h"
#include "common/user_interface.h"
#include "vodazedad/scan/file_tester.h"
#include "vodazedad/scan/protected_files.h"
#include "vodazedad/scan/scan_job_state.h"
#include "vodazedad/scan/scan_observer.h"
#include "vodazedad/scan/scan_screen.h"
#include "vodazedad/scan/tested_file.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vz::scan {

// Everything a scan job works with, handed in by the program that runs it.
struct ScanJobContext {
    std::string installationFolder; // ends with "/"
    Profile& profile;               // Options Action and the engine options
    FileTester& tester;             // the program's one engine
    ScanScreen& screen;
    UserInterface& ui;
    WindowChannel& windows;         // the guard service is told each target
    const Clock& clock;
    std::vector<Drive> drives;      // a walk from a drive root stays on its file system
    ProtectedFiles protectedFiles;
    std::string programTitle;       // caption of the job's message boxes
    std::optional<int> actionOverride; // instead of Options Action (command-line scanner)
    ScanObserver* observer = nullptr;  // told each file's outcome as it happens
    // Files and folders the user left out (command-line patterns): never tested or entered.
    std::function<bool(const std::string& path, bool isFolder)> excluded = {};
    // Tests only: runs between a file's test and what is done about it.
    std::function<void(const std::string& path)> afterTest = {};
};

// What a finished job leaves, for the programs that report it.
struct ScanJobOutcome {
    bool ran = false;            // false when the folder browser was cancelled
    bool aborted = false;
    std::string reportPath;      // empty when no report was started
    long filesHandled = 0;
    long infections = 0;
    long warnings = 0;
    long removed = 0;
    long elapsedMs = 0;
    long recordFailures = 0;           // records that could not be written
    std::optional<Error> firstRecordFailure;
};

// The on-demand scan: counts and walks each target on a worker thread, tests every
// file, hands infected files to the infection handling, shows progress, honours
// Cancel, and leaves a scan report, a scan-log entry and updated statistics.
class ScanJob {
public:
    explicit ScanJob(ScanJobContext context);

    // Runs to the end on the calling (window) thread. No list: the job asks for a
    // folder; an empty list scans nothing. `totals` are the persistent statistics.
    ScanJobOutcome run(const std::optional<std::vector<std::string>>& targets, int scanType, ScanStatistics& totals);

    // Cancel: any thread may call it; the worker sees it after its next entry.
    void cancel() { m_state.abort = true; }

    const ScanJobState& state() const { return m_state; }

private:
    bool runTarget(const std::string& target, const std::string& reportPath, std::uint64_t jobStartMs);
    void worker(const std::string& target, const std::string& reportPath);
    // The engine's test of one file (any test thread), and what follows it (the walk's
    // thread, in walk order): counts, the action, records, the observer.
    void testFile(TestedFile& file, const class FileHandling& handling) const;
    void handleTested(TestedFile& file, const std::string& reportPath, class FileHandling& handling);
    // An error or warning: counted, recorded, told.
    void problem(const std::string& reportPath, const std::string& path, const std::string& reason);
    void showProgress(bool totalKnown, std::uint64_t jobStartMs);
    // Counts a record that could not be written and tells the observer; the scan goes on.
    void recorded(const Result<void>& written);
    void tell(const FileFinding& finding);

    ScanJobContext m_ctx;
    ScanJobState m_state;
    std::uint32_t m_targetsRange = 0;
    std::uint32_t m_targetsPosition = 0;
    std::mutex m_failureMutex;
    long m_recordFailures = 0;
    std::optional<Error> m_firstRecordFailure;
};

} // namespace vz::scan
