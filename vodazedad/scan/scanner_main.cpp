// vodazedad-scan: the on-demand scan job on the terminal, for administrators and scripts.
#include "common/files.h"
#include "common/paths.h"
#include "common/lang/language_manager.h"
#include "common/lang/local_text.h"
#include "common/records/scan_log.h"
#include "common/records/scan_report.h"
#include "common/settings/settings_names.h"
#include "common/settings/settings_store.h"
#include "common/text.h"
#include "platform/drives/mount_table_drives.h"
#include "platform/dynlib/dynamic_library.h"
#include "platform/processes/proc_process_list.h"
#include "platform/registry/sqlite_registry.h"
#include "platform/ui/console_user_interface.h"
#include "platform/ui/terminal_scan_screen.h"
#include "platform/window/unix_window_channel.h"
#include "common/environment.h"
#include "vodazedad/scan/engine_file_tester.h"
#include "vodazedad/scan/engine_session.h"
#include "vodazedad/scan/memory_scan.h"
#include "vodazedad/scan/scan_job.h"
#include "vodazedad/scan/scanner_options.h"

#include <cstdio>

using namespace vz;

namespace {

constexpr const char* ProgramTitle = "Vantrelo Vodazedad";

// The detections and problems of a finished scan, as its report lists them.
void printFindings(const std::string& reportPath)
{
    auto report = records::readScanReport(reportPath);
    if (!report)
        return;
    for (const auto& r : *report) {
        switch (r.code) {
        case records::RecordCode::InfectionLeft:
        case records::RecordCode::Cleaned:
        case records::RecordCode::Deleted:
        case records::RecordCode::Quarantined:
            std::printf("%s: %s", r.path().c_str(), r.virusName().c_str());
            if (!r.resultText().empty())
                std::printf(" (%s)", r.resultText().c_str());
            std::printf("\n");
            break;
        case records::RecordCode::Problem:
            std::printf("%s: %s\n", r.path().c_str(), r.field(2).c_str());
            break;
        default:
            break;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    auto parsed = scan::parseScannerOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "vodazedad-scan: %s\n", parsed.error.c_str());
        return 2;
    }
    const scan::ScannerOptions& options = *parsed.options;
    if (options.kind == scan::ScannerOptions::Kind::Help) {
        std::fputs(scan::scannerUsage().c_str(), stdout);
        return 0;
    }

    platform::ConsoleUserInterface ui;
    auto registry = platform::openRegistry(platform::RegistryLocation::fromEnvironment());
    SettingsStore settings(*registry, ui, ProgramTitle);
    std::string appDir = settings.ReadAppDir(files::ownProgramFolder());
    if (appDir.empty())
        return 2;
    settings.StoreMissingScanDefaults();
    std::string language = settings.profile().readString(settings::Options, settings::OptLanguage, "");
    installTextSource(LanguageManager::start(appDir, language, WindowedProgramLanguageSlots));

    platform::DynamicLibraryLoader loader;
    scan::EngineSession engine(loader, ui, appDir);
    if (engine.start(scan::ShowMessage::Yes) != 0)
        return 2;
    scan::EngineFileTester tester(*engine.engine());
    SystemClock clock;
    ScanStatistics totals = settings.LoadStatistics();
    scan::ScanJobState memoryState;

    if (options.kind == scan::ScannerOptions::Kind::Memory) {
        platform::TerminalScanScreen screen(stderr, nullptr, nullptr);
        platform::ProcProcessList processes;
        auto outcome = scan::runMemoryScan(
            scan::MemoryScanContext { appDir, tester, processes, screen, ui, clock, ProgramTitle }, memoryState, totals);
        settings.SaveStatistics(totals);
        std::printf("%s %ld\n%s %ld\n", LocalText("ProcessesScanned", "Processes scanned:").c_str(), outcome.processesScanned,
            LocalText("InfectionsFound", "Total Infections found:").c_str(), outcome.infections);
        return scan::scannerExitStatus(outcome.infections, 0);
    }

    platform::MountTableDrives driveTable;
    std::vector<Drive> drives = driveTable.drives();
    std::optional<std::vector<std::string>> targets;
    int scanType = records::ScanType::Folder;
    bool runs = true;
    if (options.kind == scan::ScannerOptions::Kind::Command) {
        auto t = scan::targetsFor(options.command, drives);
        targets = t.targets;
        scanType = t.scanType;
        runs = t.runs;
    } else {
        // Records name files by their full paths: a restore from the quarantine must not
        // depend on the folder the scanner was started in.
        targets.emplace();
        for (const auto& p : options.paths) {
            if (!files::exists(p)) {
                std::fprintf(stderr, "vodazedad-scan: %s: no such file or folder\n", p.c_str());
                return 2;
            }
            targets->push_back(paths::absolute(p, files::currentFolder()));
        }
    }

    scan::ScanJobOutcome outcome;
    if (runs) {
        platform::UnixWindowChannel windows(environment::runtimeFolder());
        scan::ScanJob* current = nullptr;
        platform::TerminalScanScreen screen(
            stderr, [&] { if (current) current->cancel(); }, [&] { return current && current->state().activeWorkers.load() == 0; });
        scan::ScanJob job(scan::ScanJobContext { appDir, settings.profile(), tester, screen, ui, windows, clock, drives,
            scan::ProtectedFiles(scan::SystemFolder, files::activeSwapFiles()), ProgramTitle, options.action, nullptr, {} });
        current = &job;
        outcome = job.run(targets, scanType, totals);
        settings.SaveStatistics(totals);
    }
    if (options.kind == scan::ScannerOptions::Kind::Command && options.command == scan::ScanCommand::EntireSystem)
        (void)settings.profile().writeString(settings::Options, settings::LastFullScan, stamps::registryStamp(clock.now()));

    if (!outcome.reportPath.empty())
        printFindings(outcome.reportPath);
    std::printf("%s %ld\n", LocalText("FilesScanned", "Files scanned:").c_str(), outcome.filesHandled);
    std::printf("%s %ld\n", LocalText("InfectionsFound", "Total Infections found:").c_str(), outcome.infections);
    std::printf("%s %ld\n", LocalText("cliremoved", "Infections removed:").c_str(), outcome.removed);
    std::printf("%s %ld\n", LocalText("cliwarnings", "Errors and warnings:").c_str(), outcome.warnings);
    std::printf("%s %ld s\n", LocalText("ScanTime", "Scan time:").c_str(), outcome.elapsedMs / 1000);
    if (outcome.aborted)
        std::printf("%s\n", LocalText("ScanAbort", "Scanning aborted by user").c_str());
    if (!outcome.reportPath.empty() && files::exists(outcome.reportPath))
        std::printf("%s %s\n", LocalText("clireport", "Report:").c_str(), outcome.reportPath.c_str());
    return scan::scannerExitStatus(outcome.infections, outcome.warnings);
}
