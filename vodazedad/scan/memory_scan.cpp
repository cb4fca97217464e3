#include "vodazedad/scan/memory_scan.h"

#include "common/engine/engine_records.h"
#include "common/lang/local_text.h"
#include "common/records/record_location.h"
#include "common/records/scan_log.h"
#include "common/text.h"
#include "vodazedad/scan/progress_panels.h"

#include <algorithm>
#include <limits>

namespace vz::scan {

MemoryScanOutcome runMemoryScan(const MemoryScanContext& ctx, ScanJobState& state, ScanStatistics& totals)
{
    MemoryScanOutcome outcome;
    ScanScreen& screen = ctx.screen;

    // 1: a fresh start; there is no Cancel in a memory scan.
    state.abort = false;
    std::uint64_t jobStart = ctx.clock.tickMs();
    screen.dispatchMessages();
    state.filesHandled = 0;
    state.infections = 0;
    state.warnings = 0;

    // 2-3: the process list.
    auto ids = ctx.processes.processIds(MemoryScanMaxProcesses);
    bool listed = ids.ok();
    if (listed && ids->empty())
        return outcome;

    records::RecordLocation location(ctx.installationFolder);
    if (listed) {
        // 4: scanning flag, one more scan.
        state.scanning = true;
        screen.setScanning(true);
        ++totals.scanCount;
        screen.dispatchMessages();
        auto n = static_cast<std::uint32_t>(ids->size());
        screen.setFilesBar(n, 0);

        // 5: every process in list order.
        for (std::uint32_t i = 0; i < n; ++i) {
            screen.setFilesBar(n, i);
            std::uint32_t pid = (*ids)[i];
            auto name = ctx.processes.firstModuleBaseName(pid);
            if (!name || name->empty())
                continue;
            state.filesHandled.fetch_add(1);
            long seconds = static_cast<long>((ctx.clock.tickMs() - jobStart) / 1000);
            screen.showPanels(statisticsPanel(PanelForm::Processes, state.filesHandled, state.infections, state.lastVirus(), seconds),
                activityPanel(LocalText("scanprocess", "Scanning process : ") + *name));
            auto image = ctx.processes.moduleInformation(pid);
            if (!image)
                continue;
            auto size = static_cast<std::uint32_t>(std::min<std::uint64_t>(image->imageSize, std::numeric_limits<std::uint32_t>::max()));
            engine::MemoryTestRecord record = engine::makeMemoryTestRecord(pid, image->baseAddress, size, 0);
            ctx.tester.testMemory(record);
            if (record.resultFlags & engine::ResultFlag::Virus) {
                std::string virus = engine::virusName(record);
                state.setLastVirus(virus);
                state.infections.fetch_add(1);
                std::string message = text::fillTemplate(LocalText("virusinmem", "Virus %s found in process %s"), { virus, *name });
                ctx.ui.messageBox(message, ctx.programTitle, MessageIcon::Information, MessageButtons::Ok);
            }
        }
        // 6-7
        screen.setFilesBar(n, n);
        state.scanning = false;
        screen.setScanning(false);
    }

    // 8-9: the duration, and the all-clear.
    long seconds = static_cast<long>((ctx.clock.tickMs() - jobStart) / 1000);
    outcome.processesScanned = state.filesHandled.load();
    outcome.infections = state.infections.load();
    if (outcome.infections == 0) {
        ctx.ui.messageBox(LocalText("novirusinmem", "No viruses found in memory !"), ctx.programTitle, MessageIcon::Information,
            MessageButtons::Ok);
    }

    // 10-11: the log entry carries the time of the end and a report name of its own.
    LocalDateTime end = ctx.clock.now();
    records::ScanSummary summary;
    summary.reportPath = location.reportPath(end);
    summary.start = end;
    summary.scanType = records::ScanType::Memory;
    summary.targets = { LocalText("memscan", "Memory scan") };
    summary.durationSeconds = seconds;
    summary.warnings = 0;
    summary.infections = outcome.infections;
    outcome.logReportPath = summary.reportPath;
    outcome.logged = records::appendScanLogEntry(location, records::scanEntry(summary)).ok();

    // 12
    screen.showHomeScreen();
    return outcome;
}

} // namespace vz::scan
