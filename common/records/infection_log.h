#pragma once

#include "common/date_time.h"
#include "common/records/record_location.h"
#include "common/result.h"

#include <functional>
#include <string>
#include <vector>

// The infection log Reports/viridx.dat: one entry of three lines per infected file
// found: date-time stamp (when written), full file path, virus name.
namespace vz::records {

struct InfectionLogEntry {
    std::string dateTime; // "dd/mm/yyyy hh:mm"
    std::string path;
    std::string virusName;

    bool operator==(const InfectionLogEntry&) const = default;
};

InfectionLogEntry infectionEntry(const LocalDateTime& when, std::string path, std::string virusName);

Result<void> appendInfectionLogEntry(const RecordLocation& location, const InfectionLogEntry& entry);

// Every whole entry (a stamp, a full path, the virus name) in file order. Lines of a
// damaged entry are passed over; an incomplete last group is left out.
Result<std::vector<InfectionLogEntry>> readInfectionLog(const RecordLocation& location);

// Rewrites the log with the entries `keep` accepts, in file order with the same lines,
// through a temporary file and a rename. Writes nothing when all are kept.
Result<void> rewriteInfectionLog(const RecordLocation& location, const std::function<bool(const InfectionLogEntry&)>& keep);

} // namespace vz::records
