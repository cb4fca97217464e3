#pragma once

#include "common/date_time.h"
#include "common/records/record_location.h"
#include "vodazedad/scan/infected_file.h"

#include <string_view>

namespace vz::scan {

// The quarantine: infected files moved unchanged into <installation>/Quarantine/ as
// "AV<n>.QRT", each with its entry in Reports/qtidx.dat (when moved, the name, the
// virus, the former path). Nothing here creates either folder.
class QuarantineStore {
public:
    QuarantineStore(records::RecordLocation location, const Clock& clock);

    // The number of entries in the quarantine index (0 without an index).
    int count() const;

    // Moves the file into the quarantine and adds its index entry. On success
    // "File quarantained" and code 10. Otherwise the file is where it was, with
    // "File can't be moved" and code 3.
    //
    // The number starts at the count of entries and skips every name already taken
    // (numbers of restored or deleted items are reused, and their files may still be
    // there). The quarantined file is made owner-only (0600); one that cannot be is
    // put back. When the index entry cannot be written the file is put back too, so
    // no file sits in the quarantine without the record of where it came from.
    InfectionOutcome quarantine(std::string_view path, std::string_view virusName);

    const records::RecordLocation& location() const { return m_location; }

private:
    records::RecordLocation m_location;
    const Clock& m_clock;
};

} // namespace vz::scan
