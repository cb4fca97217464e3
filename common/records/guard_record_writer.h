#pragma once

#include "common/date_time.h"
#include "common/records/record_location.h"
#include "common/records/scan_report.h"
#include "common/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace vz::records {

// How the guard service adds an on-access detection to the record files: a new scan
// report per detection with its scan-log entry, the report's lines and an entry in
// the infection log. Used from the service's main thread only.
class GuardRecordWriter {
public:
    GuardRecordWriter(RecordLocation location, const Clock& clock);

    // Starts a new report for a detection at `targetPath`: creates the report file
    // under a name no other scan or detection holds (createScanReport), appends the
    // scan entry (kind 0, code 2, the path as task, duration "0", warnings 0,
    // infections 1) and remembers the report's path, also when the scan log cannot be
    // written. When the report cannot be created, nothing is remembered, so report
    // lines never go into another scan's report; the entry is still appended.
    Result<void> newGuardEntry(std::string_view targetPath);

    // Appends one record to the report last started.
    Result<void> reportLines(const ReportRecord& record);

    // A whole detection: new entry, one 03 record "path, virus, Guard detected virus
    // <name>" and an infection-log entry. Each part is written when it can be.
    void recordDetection(std::string_view path, std::string_view virusName);

    const std::string& guardReportPath() const { return m_reportPath; }

private:
    RecordLocation m_location;
    const Clock& m_clock;
    std::string m_reportPath;
};

// LocalText("guardfoundvirus", "Guard detected virus %s") with the virus name in place of
// "%s". The name is put in as text, never used as a format, so a "%" in it stays.
std::string guardFoundVirusText(std::string_view virusName);

} // namespace vz::records
