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
    m_reportPath = m_location.reportPath(now);
    ScanLogEntry entry;
    entry.reportPath = m_reportPath;
    entry.dateTime = stamps::recordDateTime(now);
    entry.kind = ScanEntryKind;
    entry.resultCode = ScanStatus::InfectionsFound;
    entry.task = std::string(targetPath);
    entry.duration.assign(1, '0'); // not = "0": GCC 12 warns falsely (-Wrestrict) on that assignment here
    entry.warnings = 0;
    entry.infections = 1;
    return appendScanLogEntry(m_location, entry);
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
    (void)newGuardEntry(path);
    (void)reportLines(fileRecord(RecordCode::InfectionLeft, std::string(path), std::string(virusName), guardFoundVirusText(virusName)));
    (void)appendInfectionLogEntry(m_location, infectionEntry(m_clock.now(), std::string(path), std::string(virusName)));
}

std::string guardFoundVirusText(std::string_view virusName)
{
    return text::fillTemplate(LocalText("guardfoundvirus", "Guard detected virus %s"), { virusName });
}

} // namespace vz::records
