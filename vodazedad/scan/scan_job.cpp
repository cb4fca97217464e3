#include "vodazedad/scan/scan_job.h"

#include "common/files.h"
#include "common/folder.h"
#include "common/lang/local_text.h"
#include "common/paths.h"
#include "common/records/infection_log.h"
#include "common/records/record_location.h"
#include "common/records/scan_log.h"
#include "common/records/scan_report.h"
#include "common/settings/settings_names.h"
#include "common/text.h"
#include "vodazedad/scan/engine_session.h"
#include "vodazedad/scan/folder_walker.h"
#include "vodazedad/scan/infection_handler.h"
#include "vodazedad/scan/progress_panels.h"
#include "vodazedad/scan/quarantine_store.h"
#include "vodazedad/scan/test_pipeline.h"
#include "vodazedad/scan/tested_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace vz::scan {

namespace {

constexpr std::uint32_t FirstPauseMs = 1000;
constexpr std::uint32_t PollMs = 120;

// Repairs through the engine the file whose record the worker has just tested.
class RecordRepairer final : public FileRepairer {
public:
    explicit RecordRepairer(FileTester& tester) : m_tester(tester) {}
    void setRecord(engine::FileTestRecord* record) { m_record = record; }

    std::uint16_t repair(const InfectedFile&) override
    {
        if (!m_record)
            return 1;
        int flags = m_tester.repairFile(*m_record);
        if ((flags & engine::ResultFlag::Error) && m_record->errorCode == 0)
            return 1; // an error without a code is still no clean file
        return m_record->errorCode;
    }

private:
    FileTester& m_tester;
    engine::FileTestRecord* m_record = nullptr;
};

// The repair option follows the action the job carries out, also when the command
// line overrides the stored one.
JobOptions optionsForAction(JobOptions options, int action)
{
    if (action == InfectionAction::Clean)
        options.options |= engine::Option::Repair;
    else
        options.options &= static_cast<std::uint16_t>(~engine::Option::Repair);
    return options;
}

constexpr int ErrorNotOpened = 23;
constexpr std::uint32_t WarningAccessDenied = 0x1;

// Why a file could not be opened for its test.
std::string openFailureText(const Error& error)
{
    switch (error.code) {
    case EACCES:
    case EPERM:
        return warningText(WarningAccessDenied);
    case ENOENT:
        return LocalText("filevanished", "The file vanished before it could be tested");
    case ELOOP:
    case files::EntryChanged:
        return LocalText("filereplaced", "The file was replaced before it could be tested");
    default:
        return errorText(ErrorNotOpened, 0) + " (" + std::strerror(error.code) + ")";
    }
}

// Why a folder could not be walked (all of it, or from some entry on).
std::string folderFailureText(const Error& error)
{
    switch (error.code) {
    case EACCES:
    case EPERM:
        return LocalText("folderdenied", "Access denied: the folder was not scanned");
    case ENOENT:
        return LocalText("foldervanished", "The folder vanished before it could be scanned");
    case ELOOP:
    case ENOTDIR:
    case files::EntryChanged:
        return LocalText("folderreplaced", "The folder was replaced before it could be scanned");
    default:
        return LocalText("foldernotread", "The folder could not be read completely") + " (" + std::strerror(error.code) + ")";
    }
}

} // namespace

// What one worker needs for every file it handles.
class FileHandling {
public:
    FileHandling(const ScanJobContext& ctx, FileTester& tester)
        : location(ctx.installationFolder)
        , quarantineFolder(paths::join(ctx.installationFolder, "Quarantine/"))
        , action(ctx.actionOverride.value_or(ctx.profile.readInt(settings::Options, settings::Action, settings::DefaultAction)))
        , options(optionsForAction(jobOptions(ctx.profile), action))
        , threads(testThreads(ctx.profile))
        , quarantine(location, ctx.clock)
        , repairer(tester)
        , handler(quarantine, repairer)
    {
    }

    // One per online core, unless the setting names a number (at most 64).
    static unsigned testThreads(const Profile& profile)
    {
        unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        int wanted = profile.readInt(settings::Options, settings::ScanThreads, 0);
        return wanted > 0 ? std::min(64u, static_cast<unsigned>(wanted)) : cores;
    }

    records::RecordLocation location;
    std::string quarantineFolder;
    int action;
    JobOptions options;
    unsigned threads;
    QuarantineStore quarantine;
    RecordRepairer repairer;
    InfectionHandler handler;
};

ScanJob::ScanJob(ScanJobContext context)
    : m_ctx(std::move(context))
{
}

ScanJobOutcome ScanJob::run(const std::optional<std::vector<std::string>>& givenTargets, int scanType, ScanStatistics& totals)
{
    ScanJobOutcome outcome;
    ScanScreen& screen = m_ctx.screen;
    records::RecordLocation location(m_ctx.installationFolder);

    // 1-2: scanning flag on, one more scan, fresh job state.
    m_state.scanning = true;
    screen.setScanning(true);
    ++totals.scanCount;
    m_state.reset();
    // Quarantine moves a killed scan left half done are finished first.
    QuarantineStore(location, m_ctx.clock).reconcile();

    // 3: no list given: ask for a folder.
    std::vector<std::string> targets;
    bool chosen = true;
    if (givenTargets) {
        targets = *givenTargets;
    } else {
        auto folder = screen.browseForFolder(LocalText("SelectDir", "Please select a Directory"));
        if (folder && !folder->empty())
            targets.push_back(*folder);
        else
            chosen = false;
    }

    bool aborted = false;
    std::uint64_t elapsedMs = 0;
    LocalDateTime start;
    std::vector<std::string> taskTargets;
    if (chosen) {
        outcome.ran = true;
        // 4: job start, the first panels.
        std::uint64_t jobStart = m_ctx.clock.tickMs();
        screen.setFilesBar(0, 0);
        screen.showPanels(statisticsPanel(PanelForm::Files, 0, 0, "", 0),
            activityPanel(LocalText("gatherinfo", "Gathering file information"), LocalText("prepscan", "Starting scan...")));

        // 5-6: the targets bar, the report with its description and start.
        m_targetsRange = 2 * static_cast<std::uint32_t>(targets.size());
        m_targetsPosition = 0;
        screen.setTargetsBar(m_targetsRange, 0);
        start = m_ctx.clock.now();
        // A report of its own: a name another scan of this second holds moves on a second.
        auto created = records::createScanReport(location, start);
        if (created) {
            outcome.reportPath = *created;
        } else {
            recorded(created.error());
            outcome.reportPath = location.reportPath(start);
        }
        recorded(records::appendReportRecord(outcome.reportPath, records::descriptionRecord(targets)));
        recorded(records::appendReportRecord(outcome.reportPath, records::startRecord(start)));

        // 7-8: every target while none was aborted.
        std::uint64_t targetsStart = m_ctx.clock.tickMs();
        for (const auto& target : targets) {
            taskTargets.push_back(target);
            std::string trimmed = target.substr(std::min(target.find_first_not_of(' '), target.size()));
            screen.setFilesBar(0, 0);
            screen.setStatusLine(LocalText("Scan of", "Scan of ") + trimmed);
            aborted = runTarget(trimmed, outcome.reportPath, jobStart);
            screen.setStatusLine("");
            if (aborted)
                recorded(records::appendReportRecord(outcome.reportPath, records::userAbortRecord()));
            elapsedMs = m_ctx.clock.tickMs() - targetsStart;
            if (aborted)
                break;
        }

        // 9: the count and the scan time.
        std::uint64_t total = m_ctx.clock.tickMs() - jobStart;
        recorded(records::appendReportRecord(outcome.reportPath, records::filesHandledRecord(m_state.filesHandled.load())));
        recorded(records::appendReportRecord(outcome.reportPath, records::scanTimeRecord(static_cast<long>(total / 1000))));

        // 10: the persistent totals.
        totals.foundCount += static_cast<int>(m_state.infections.load());
        totals.removedCount += static_cast<int>(m_state.cleaned.load() + m_state.deletedOrQuarantined.load());
    }

    // 11: scanning flag off.
    m_state.scanning = false;
    screen.setScanning(false);

    outcome.aborted = aborted;
    outcome.filesHandled = m_state.filesHandled.load();
    outcome.infections = m_state.infections.load();
    outcome.warnings = m_state.warnings.load();
    outcome.removed = m_state.cleaned.load() + m_state.deletedOrQuarantined.load();
    outcome.elapsedMs = static_cast<long>(elapsedMs);

    // 12: the scan log and the report view, or "Nothing to scan !".
    if (outcome.filesHandled > 0) {
        records::ScanSummary summary;
        summary.reportPath = outcome.reportPath;
        summary.start = start;
        summary.scanType = scanType;
        summary.aborted = aborted;
        summary.targets = taskTargets;
        summary.durationSeconds = static_cast<long>(elapsedMs / 1000);
        summary.warnings = outcome.warnings;
        summary.infections = outcome.infections;
        recorded(records::appendScanLogEntry(location, records::scanEntry(summary)));
        screen.openReport(outcome.reportPath);
    } else {
        if (!aborted) {
            m_ctx.ui.messageBox(LocalText("nothing2scan", "Nothing to scan !"), m_ctx.programTitle, MessageIcon::Information, MessageButtons::Ok);
        }
        screen.showHomeScreen();
    }
    {
        std::lock_guard lock(m_failureMutex);
        outcome.recordFailures = m_recordFailures;
        outcome.firstRecordFailure = m_firstRecordFailure;
    }
    return outcome;
}

void ScanJob::recorded(const Result<void>& written)
{
    if (written)
        return;
    {
        std::lock_guard lock(m_failureMutex);
        if (m_recordFailures++ == 0)
            m_firstRecordFailure = written.error();
    }
    if (m_ctx.observer)
        m_ctx.observer->recordNotWritten(written.error());
}

void ScanJob::tell(const FileFinding& finding)
{
    if (m_ctx.observer)
        m_ctx.observer->fileHandled(finding);
}

bool ScanJob::runTarget(const std::string& target, const std::string& reportPath, std::uint64_t jobStartMs)
{
    ScanScreen& screen = m_ctx.screen;
    // 1-2: the worker, and the guard service told which folder is being scanned.
    m_state.setCurrentFile("");
    m_state.fileTotal = 0;
    // Counted as active before it starts, so the wait below never misses it.
    m_state.activeWorkers.fetch_add(1);
    std::thread worker([this, target, reportPath] { this->worker(target, reportPath); });
    ignoreError(SendServiceCommand(m_ctx.windows, service_command::ScanFolder, target),
        "without a guard service there is nobody to tell; the scan does not need it");

    // 3: gathering, a first pause.
    screen.showPanels(statisticsPanel(PanelForm::Files, m_state.filesHandled, m_state.infections, m_state.lastVirus(), 0),
        activityPanel(LocalText("gatherinfo", "Gathering file information")));
    screen.dispatchMessages();
    screen.pause(FirstPauseMs);

    // 4: follow the worker until it ends.
    bool rangeSet = false;
    std::uint32_t range = 0;
    int phase = 0;
    while (m_state.activeWorkers.load() > 0) {
        long total = m_state.fileTotal.exchange(0);
        if (total > 0) {
            range = static_cast<std::uint32_t>(total);
            rangeSet = true;
            screen.setTargetsBar(m_targetsRange, ++m_targetsPosition);
        }
        if (rangeSet)
            screen.setFilesBar(range, static_cast<std::uint32_t>(m_state.filesHandled.load()));
        phase = (phase + 1) % 16;
        screen.setMarker(markerForPhase(phase));
        showProgress(rangeSet, jobStartMs);
        screen.dispatchMessages();
        screen.pause(PollMs);
    }
    worker.join();
    // A total that came in after the last look still moves the bars on.
    if (m_state.fileTotal.exchange(0) > 0)
        screen.setTargetsBar(m_targetsRange, ++m_targetsPosition);

    // 5: marker off, the guard service told the target has ended.
    screen.setMarker(std::nullopt);
    ignoreError(SendServiceCommand(m_ctx.windows, service_command::ScanFolder, ""),
        "without a guard service there is nobody to tell; the scan does not need it");
    screen.setTargetsBar(m_targetsRange, ++m_targetsPosition);
    return m_state.abort.load();
}

void ScanJob::showProgress(bool totalKnown, std::uint64_t jobStartMs)
{
    long seconds = static_cast<long>((m_ctx.clock.tickMs() - jobStartMs) / 1000);
    m_ctx.screen.showPanels(statisticsPanel(PanelForm::Files, m_state.filesHandled, m_state.infections, m_state.lastVirus(), seconds),
        activityPanel(totalKnown ? m_state.currentFile() : LocalText("gatherinfo", "Gathering file information")));
}

void ScanJob::worker(const std::string& target, const std::string& reportPath)
{
    // 1: a fresh last virus.
    m_state.setLastVirus("---");
    m_state.setLastInfectedPath("");

    // The pattern's folder: the target without one final separator ("/" gives "").
    std::string folder = target;
    if (!folder.empty() && folder.back() == paths::Separator)
        folder.pop_back();

    // A walk from a drive root stays on that drive's file system.
    std::optional<std::uint64_t> device;
    for (const auto& d : m_ctx.drives) {
        if (paths::withTrailingSeparator(target) == d.root)
            device = d.device;
    }
    FileHandling handling(m_ctx, m_ctx.tester);
    auto done = [this] { m_state.activeWorkers.fetch_sub(1); };

    // A target that names one file scans that file; a link the user named is followed,
    // and what is tested and acted on is the file it led to.
    if (auto st = files::status(target); st && st->kind == files::FileKind::Regular) {
        m_state.fileTotal = 1;
        auto named = files::openNamedFile(target);
        std::optional<files::HeldFile> unnamed;
        if (!named && files::isEntryChanged(named.error())) {
            // No folder names it (a copy of standard input): tested, never acted on.
            if (auto lone = files::openUnnamedFile(target))
                unnamed = std::move(*lone);
        }
        if (named || unnamed) {
            TestedFile file;
            if (named) {
                file.folder = std::make_shared<const files::Folder>(std::move(named->folder));
                file.name = named->name;
                file.path = named->realPath;
                file.held = std::move(named->file);
            } else {
                file.path = target;
                file.held = std::move(*unnamed);
            }
            file.file = &*file.held;
            testFile(file, handling);
            handleTested(file, reportPath, handling);
        } else {
            m_state.setCurrentFile(target);
            m_state.filesHandled.fetch_add(1);
            problem(reportPath, target, openFailureText(named.error()));
        }
        done();
        return;
    }

    auto opened = files::Folder::open(folder.empty() ? std::string("/") : folder);
    if (!opened) {
        // A target that is not there or cannot be opened is said, never passed as clean.
        problem(reportPath, folder.empty() ? "/" : folder, openFailureText(opened.error()));
        done();
        return;
    }
    auto root = std::make_shared<const files::Folder>(std::move(*opened));
    if (device && root->identity().device != *device)
        device.reset(); // the root is over-mounted: stay on what was opened
    FolderWalker walker(m_state.abort, device, m_ctx.excluded);

    // 3: the counting pass.
    long count = 0;
    if (walker.count(root, folder, count) == FolderWalker::Outcome::Aborted)
        recorded(records::appendReportRecord(reportPath, records::abortRecord("", folder.empty() ? "/" : folder)));
    m_state.fileTotal = count;

    // 4: the walk. Files are tested on several threads and handled in walk order.
    auto handle = [&](TestedFile& file) { handleTested(file, reportPath, handling); };
    auto test = [&](TestedFile& file) { testFile(file, handling); };
    std::optional<TestPipeline> pipeline;
    if (handling.threads > 1)
        pipeline.emplace(handling.threads, test, handle, m_state.abort);
    auto pass = [&](TestedFile file) {
        if (pipeline) {
            pipeline->add(std::move(file));
        } else {
            test(file);
            handle(file);
        }
    };
    auto onFile = [&](const std::shared_ptr<const files::Folder>& in, const std::string& name, const std::string& path) {
        TestedFile file;
        file.folder = in;
        file.name = name;
        file.path = path;
        pass(std::move(file));
    };
    auto onProblem = [&](const std::string& path, const Error& error) {
        TestedFile file;
        file.path = path;
        file.folderProblem = folderFailureText(error);
        pass(std::move(file));
    };
    bool aborted = walker.walk(root, folder, onFile, onProblem) == FolderWalker::Outcome::Aborted;
    if (pipeline && pipeline->finish())
        aborted = true;
    if (aborted)
        recorded(records::appendReportRecord(reportPath, records::abortRecord("", m_state.currentFile())));

    // 5: done.
    done();
}

void ScanJob::problem(const std::string& reportPath, const std::string& path, const std::string& reason)
{
    m_state.warnings.fetch_add(1);
    recorded(records::appendReportRecord(reportPath, records::problemRecord(path, reason)));
    tell({ FileFinding::Kind::Problem, path, {}, reason, records::RecordCode::Problem });
}

void ScanJob::testFile(TestedFile& file, const FileHandling& h) const
{
    if (file.folderProblem)
        return;
    // Files in the quarantine are counted, never tested.
    if (text::startsWithIgnoreCase(file.path, h.quarantineFolder)) {
        file.inQuarantine = true;
        return;
    }
    // The engine tests the open file itself, whatever its path's length, and every
    // action afterwards lands on that same file.
    if (!file.file) {
        auto opened = file.folder->openFile(file.name);
        if (!opened) {
            file.openError = opened.error();
            return;
        }
        file.held = std::move(*opened);
        file.file = &*file.held;
    }
    auto record = engine::makeFileTestRecord(file.file->shortPath(), h.options.options, h.options.tempFileName);
    if (!record)
        return;
    file.record = std::move(*record);
    file.flags = m_ctx.tester.testFile(*file.record);
}

void ScanJob::handleTested(TestedFile& file, const std::string& reportPath, FileHandling& h)
{
    const std::string& path = file.path;
    if (file.folderProblem) {
        problem(reportPath, path, *file.folderProblem);
        return;
    }
    m_state.setCurrentFile(path);
    m_state.filesHandled.fetch_add(1);
    if (file.inQuarantine)
        return;
    if (file.openError) {
        if (!m_ctx.protectedFiles.isProtected(path))
            problem(reportPath, path, openFailureText(*file.openError));
        return;
    }
    if (!file.record) {
        problem(reportPath, path, errorText(ErrorNotOpened, 0));
        return;
    }
    if (m_ctx.afterTest)
        m_ctx.afterTest(path);

    engine::FileTestRecord& rec = *file.record;
    const int flags = file.flags;
    const files::Folder* folder = file.folder.get();
    if (flags & engine::ResultFlag::Error) {
        if (!m_ctx.protectedFiles.isProtected(path))
            problem(reportPath, path, errorText(rec.errorCode, rec.errorDetail));
        else
            tell({ FileFinding::Kind::Clean, path, {}, {}, records::RecordCode::InfectionLeft });
    } else if ((flags & engine::ResultFlag::Virus) && rec.hasVirusName == 0) {
        // A detection without a name is no verdict to act on.
        problem(reportPath, path, LocalText("novirusname", "The engine reported a detection without a name; the file was left alone"));
    } else if (flags & engine::ResultFlag::Virus) {
        m_state.infections.fetch_add(1);
        std::string virus = engine::virusName(rec);
        h.repairer.setRecord(&rec);
        InfectionOutcome result = h.handler.handle(
            InfectedFile { path, virus, rec.repairable != 0, folder, file.name, folder ? file.file : nullptr }, h.action);
        h.repairer.setRecord(nullptr);
        if (result.code == records::RecordCode::Cleaned)
            m_state.cleaned.fetch_add(1);
        else if (result.code == records::RecordCode::Deleted || result.code == records::RecordCode::Quarantined)
            m_state.deletedOrQuarantined.fetch_add(1);
        m_state.setLastVirus(virus);
        m_state.setLastInfectedPath(path);
        recorded(records::appendInfectionLogEntry(h.location, records::infectionEntry(m_ctx.clock.now(), path, virus)));
        recorded(records::appendReportRecord(reportPath, records::fileRecord(result.code, path, virus, result.resultText)));
        tell({ FileFinding::Kind::Infection, path, virus, result.resultText, result.code });
        if (result.changed) {
            // The name was swapped after the test: what it names now is not acted on.
            m_state.warnings.fetch_add(1);
            recorded(records::appendReportRecord(reportPath, records::problemRecord(path, result.resultText)));
        }
    } else if (flags & engine::ResultFlag::Warning) {
        if (!m_ctx.protectedFiles.isProtected(path))
            problem(reportPath, path, warningText(rec.warningCode));
        else
            tell({ FileFinding::Kind::Clean, path, {}, {}, records::RecordCode::InfectionLeft });
    } else {
        tell({ FileFinding::Kind::Clean, path, {}, {}, records::RecordCode::InfectionLeft });
    }
}

} // namespace vz::scan
