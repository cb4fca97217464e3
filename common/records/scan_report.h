#pragma once

#include "common/date_time.h"
#include "common/records/record_location.h"
#include "common/result.h"

#include <string>
#include <string_view>
#include <vector>

// A scan report: one file per scan or guard detection, named by its start (see
// RecordLocation::reportPath). Each record is two lines: the record code with two
// digits followed directly by the first text, then "09" followed by the second text.
// The first text of a file record is "path<TAB>virus name<TAB>result text".
namespace vz::records {

enum class RecordCode : int {
    Description = 0,    // "Scan of " and the targets
    ScanTime = 1,       // "Scan time: <n> s"
    FilesHandled = 2,   // the count of files handled
    InfectionLeft = 3,  // infection left in place
    Cleaned = 4,        // infected file cleaned
    Abort = 5,          // scan aborted
    Deleted = 6,        // infected file deleted
    Problem = 7,        // error or warning: "path<TAB><TAB>reason"
    Start = 8,          // the scan's start
    SecondLine = 9,     // the code of every record's second line
    Quarantined = 10,   // infected file moved into the quarantine
};

struct ReportRecord {
    RecordCode code = RecordCode::Description;
    // The first text split at its tabs, each field as it was given.
    std::vector<std::string> fields;
    std::string secondText;

    // The first text as one text (fields joined by tabs).
    std::string firstText() const;
    // The fields of a file record (03, 04, 06, 10; 07 has the reason as third).
    std::string field(std::size_t index) const { return index < fields.size() ? fields[index] : std::string(); }
    std::string path() const { return field(0); }
    std::string virusName() const { return field(1); }
    std::string resultText() const { return field(2); }

    bool operator==(const ReportRecord&) const = default;
};

// The records of a report, in the words of the scan that writes them.
ReportRecord descriptionRecord(const std::vector<std::string>& targets);   // 00
ReportRecord startRecord(const LocalDateTime& start);                        // 08
ReportRecord fileRecord(RecordCode code, std::string path, std::string virusName, std::string resultText);
ReportRecord problemRecord(std::string path, std::string reason);            // 07
ReportRecord abortRecord(std::string firstText, std::string secondText);     // 05
ReportRecord userAbortRecord();                                              // 05 from the scan job
ReportRecord filesHandledRecord(long count);                                 // 02
ReportRecord scanTimeRecord(long seconds);                                   // 01

// The two lines of a record as they stand on disk.
std::vector<std::string> storeReportRecord(const ReportRecord& record);

// Appends one record (both lines in one piece) to the report. Fails, writing nothing,
// when the file cannot be opened (no Reports folder).
Result<void> appendReportRecord(const std::string& reportPath, const ReportRecord& record);

// The records up to the first empty line or the end of the file. A record is its
// code line and its "09" line; a line without its partner (a record cut short) is
// passed over, and the records after it are read as written.
Result<std::vector<ReportRecord>> readScanReport(const std::string& reportPath);

// Creates the empty report of a scan or detection started at `start` and answers its
// path. The name is never shared: when another scan took it, the next second's name
// is tried. Fails with the error of creating the file (no Reports folder).
Result<std::string> createScanReport(const RecordLocation& location, const LocalDateTime& start);

} // namespace vz::records
