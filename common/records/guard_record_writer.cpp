#include "common/records/guard_record_writer.h"

#include "common/lang/local_text.h"
#include "common/text.h"
#include "common/records/infection_log.h"
#include "common/records/scan_log.h"

namespace vz::records {

GuardRecordWriter::GuardRecordWriter(RecordLocation location, const Clock& clock)
    : m_location(std::move(location))
    , m_clock(clock)
{
}

Result<void> GuardRecordWriter::newGuardEntry(std::string_view targetPath)
{
    LocalDateTime now = m_clock.now();
    // A report of its own: a detection in the same second as a scan or another
    // detection takes the next free second's name, never the other's report.
    auto created = createScanReport(m_location, now);
    m_reportPath = created ? *created : std::string();
    ScanLogEntry entry;
    // Without a report the entry still records the detection, under the name its
    // report would have had.
    entry.reportPath = created ? *created : m_location.reportPath(now);
    entry.dateTime = stamps::recordDateTime(now);
    entry.kind = ScanEntryKind;
    entry.resultCode = ScanStatus::InfectionsFound;
    entry.task = std::string(targetPath);
    entry.duration.assign(1, '0'); // not = "0": GCC 12 warns falsely (-Wrestrict) on that assignment here
    entry.warnings = 0;
    entry.infections = 1;
    auto logged = appendScanLogEntry(m_location, entry);
    if (!created)
        return created.error();
    return logged;
}

Result<void> GuardRecordWriter::reportLines(const ReportRecord& record)
{
    if (m_reportPath.empty())
        return Error::withText("reportLines", "no guard report started");
    return appendReportRecord(m_reportPath, record);
}

void GuardRecordWriter::recordDetection(std::string_view path, std::string_view virusName)
{
    // Record files that cannot be written are skipped; the detection itself goes on.
    ignoreError(newGuardEntry(path), "a detection goes on without its scan entry");
    ignoreError(reportLines(fileRecord(RecordCode::InfectionLeft, std::string(path), std::string(virusName), guardFoundVirusText(virusName))),
        "a detection goes on without its report");
    ignoreError(appendInfectionLogEntry(m_location, infectionEntry(m_clock.now(), std::string(path), std::string(virusName))),
        "a detection goes on without its infection entry");
}

std::string guardFoundVirusText(std::string_view virusName)
{
    return text::fillTemplate(LocalText("guardfoundvirus", "Guard detected virus %s"), { virusName });
}

} // namespace vz::records
