#pragma once

#include "common/date_time.h"
#include "common/records/record_location.h"
#include "common/result.h"

#include <functional>
#include <string>
#include <vector>

// The quarantine index Reports/qtidx.dat: one entry of four lines per quarantined
// file: date-time stamp (when moved), quarantine file name "AV<n>.QRT", virus name,
// the full path the file was moved from (where a restore puts it back).
namespace vz::records {

struct QuarantineEntry {
    std::string dateTime; // "dd/mm/yyyy hh:mm"
    std::string fileName; // "AV<n>.QRT", inside the quarantine folder
    std::string virusName;
    std::string formerPath;

    bool operator==(const QuarantineEntry&) const = default;
};

// "AV%d.QRT"
std::string quarantineFileName(int number);

QuarantineEntry quarantineEntry(const LocalDateTime& when, std::string fileName, std::string virusName, std::string formerPath);

Result<void> appendQuarantineEntry(const RecordLocation& location, const QuarantineEntry& entry);

// Every whole entry in file order: a stamp, "AV<n>.QRT", the virus name and the
// former path (a full path, or empty). Lines of a damaged entry are passed over,
// so the entries after it are read as they were written.
Result<std::vector<QuarantineEntry>> readQuarantineIndex(const RecordLocation& location);

// The entries the lists and the export show: those with a former path.
Result<std::vector<QuarantineEntry>> listQuarantineEntries(const RecordLocation& location);

// The number of entries as the quarantine counts them: whole entries up to the first
// empty line where an entry would begin. 0 when the index cannot be read.
int quarantineCount(const RecordLocation& location);

// Rewrites the index with the entries `keep` accepts, in file order with the same
// lines, through a temporary file and a rename. Writes nothing when all are kept.
Result<void> rewriteQuarantineIndex(const RecordLocation& location, const std::function<bool(const QuarantineEntry&)>& keep);

} // namespace vz::records
