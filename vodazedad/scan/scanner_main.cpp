// vodazedad-scan: the on-demand scan job on the terminal, for administrators and scripts.
#include "common/files.h"
#include "common/paths.h"
#include "common/printable_text.h"
#include "common/lang/language_manager.h"
#include "common/lang/local_text.h"
#include "common/records/scan_log.h"
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

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>

using namespace vz;

namespace {

constexpr const char* ProgramTitle = "Vantrelo Vodazedad";

void sayError(const std::string& text)
{
    std::fprintf(stderr, "vodazedad-scan: %s\n", printableText(text).c_str());
}

// Program, engine and definitions, as --version tells them.
void printVersion(const engine::EngineInfo& info)
{
    std::printf("vodazedad-scan %s\n", VZ_PROGRAM_VERSION);
    std::printf("Engine: %d.%d.%d\n", info.major, info.minor, info.build);
    std::printf("Definitions: %d.%d.%d.%d of %04d-%02d-%02d, %u signatures\n", info.definitionsVersion[0],
        info.definitionsVersion[1], info.definitionsVersion[2], info.definitionsVersion[3], info.definitionsYear,
        info.definitionsMonth, info.definitionsDay, info.knownViruses);
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
    // Without them the scan would run with other options than the settings' defaults.
    // --version only reads.
    if (options.kind != scan::ScannerOptions::Kind::Version) {
        if (auto stored = settings.StoreMissingScanDefaults(); !stored)
            sayError("the scan settings could not be stored: " + stored.error().text());
    }
    std::string language = settings.profile().readString(settings::Options, settings::OptLanguage, "");
    installTextSource(LanguageManager::start(appDir, language, WindowedProgramLanguageSlots));

    platform::DynamicLibraryLoader loader;
    scan::EngineSession engine(loader, ui, appDir);
    if (engine.start(scan::ShowMessage::Yes) != 0)
        return 2;
    if (options.kind == scan::ScannerOptions::Kind::Version) {
        printVersion(engine.info());
        return 0;
    }
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
        return scan::scannerExitStatus({ .infections = outcome.infections });
    }

    scan::ScanJob* current = nullptr;
    // The worker may still be in a large file when the signal comes: the notice says it was heard.
    platform::TerminalScanScreen screen(
        stderr,
        [&] {
            if (!current)
                return;
            current->cancel();
            screen.printLines(stderr, "vodazedad-scan: stopping the scan\n");
        },
        [&] { return current && current->state().activeWorkers.load() == 0; });
    scan::ScanListing listing(options.listing, options.json,
        [&screen](std::FILE* stream, const std::string& lines) { screen.printLines(stream, lines); });
    scan::ScanVerdict verdict;

    platform::MountTableDrives driveTable;
    std::vector<Drive> drives = driveTable.drives();
    std::optional<std::vector<std::string>> targets;
    int scanType = records::ScanType::Folder;
    bool runs = true;
    std::optional<int> action = options.action;
    std::optional<files::OpenedFile> standardInput;
    if (options.kind == scan::ScannerOptions::Kind::Command) {
        auto t = scan::targetsFor(options.command, drives);
        targets = t.targets;
        scanType = t.scanType;
        runs = t.runs;
    } else if (options.kind == scan::ScannerOptions::Kind::StandardInput) {
        // A private copy, tested and never acted on: there is no file to clean or move.
        auto copy = files::copyToUnnamedTemporaryFile(0, [] { return platform::TerminalScanScreen::interruptPending(); });
        if (!copy) {
            if (copy.error().code == ECANCELED) {
                std::printf("%s\n", LocalText("ScanAbort", "Scanning aborted by user").c_str());
                return scan::scannerExitStatus({ .aborted = true });
            }
            sayError("standard input: " + copy.error().text());
            return 2;
        }
        standardInput = std::move(*copy);
        listing.setStandardInputPath(standardInput->shortPath());
        screen.showPathAs(standardInput->shortPath(), "stdin");
        targets.emplace(1, standardInput->shortPath());
        action = 3; // none
    } else {
        // Records name files by their full paths: a restore from the quarantine must not
        // depend on the folder the scanner was started in. A missing target is said and
        // the others are scanned.
        targets.emplace();
        for (const auto& p : options.paths) {
            if (auto st = files::status(p); !st) {
                sayError(st.error().code == ENOENT ? p + ": no such file or folder" : st.error().text());
                ++verdict.missingTargets;
                continue;
            }
            targets->push_back(paths::absolute(p, files::currentFolder()));
        }
        runs = !targets->empty();
    }

    scan::ScanJobOutcome outcome;
    if (runs) {
        platform::UnixWindowChannel windows(environment::runtimeFolder());
        std::function<bool(const std::string&, bool)> excluded;
        if (!options.exclusions.empty())
            excluded = [&options](const std::string& path, bool isFolder) { return options.exclusions.excluded(path, isFolder); };
        scan::ScanJob job(scan::ScanJobContext { appDir, settings.profile(), tester, screen, ui, windows, clock, drives,
            scan::ProtectedFiles(scan::SystemFolder, files::activeSwapFiles()), ProgramTitle, action, &listing, excluded });
        current = &job;
        outcome = job.run(targets, scanType, totals);
        current = nullptr;
        settings.SaveStatistics(totals);
    }
    if (options.kind == scan::ScannerOptions::Kind::Command && options.command == scan::ScanCommand::EntireSystem)
        ignoreError(settings.profile().writeString(settings::Options, settings::LastFullScan, stamps::registryStamp(clock.now())),
            "the date of the last full scan only feeds a reminder");

    // A scan stopped before its first file still counts as stopped.
    outcome.aborted = outcome.aborted || screen.interrupted();
    scan::ScanTotals summary { outcome.filesHandled, outcome.infections, outcome.removed, outcome.warnings,
        listing.recordsNotWritten(), outcome.aborted, outcome.elapsedMs / 1000,
        !outcome.reportPath.empty() && files::exists(outcome.reportPath) ? outcome.reportPath : std::string {} };
    if (options.json)
        std::fputs(scan::jsonSummary(summary, listing.findings(), [&](const std::string& p) { return listing.shownPath(p); }).c_str(), stdout);
    else if (options.summary && options.listing != scan::Listing::Quiet)
        std::fputs(scan::textSummary(summary).c_str(), stdout);

    verdict.infections = outcome.infections;
    verdict.warnings = outcome.warnings;
    verdict.aborted = outcome.aborted;
    verdict.recordsNotWritten = std::max(listing.recordsNotWritten(), outcome.recordFailures);
    return scan::scannerExitStatus(verdict);
}
