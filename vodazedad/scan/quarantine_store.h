#pragma once

#include "common/date_time.h"
#include "common/records/record_location.h"
#include "vodazedad/scan/infected_file.h"

#include <functional>
#include <string_view>

namespace vz::scan {

// The steps of one quarantine move, in order. A move killed after any of them is
// finished by `reconcile` at the next start.
enum class QuarantineStep {
    Reserved, // AV<n>.QRT.intent holds the index entry to be; the number is taken
    Moved,    // the file is in the quarantine as AV<n>.QRT.pending
    Recorded, // the index entry is written
    Private,  // the file is owner-only
    Named,    // the file is AV<n>.QRT
};

// The quarantine: infected files moved unchanged into <installation>/Quarantine/ as
// "AV<n>.QRT", each with its entry in Reports/qtidx.dat (when moved, the name, the
// virus, the former path). Nothing here creates either folder.
class QuarantineStore {
public:
    QuarantineStore(records::RecordLocation location, const Clock& clock);

    // The number of entries in the quarantine index (0 without an index).
    int count() const;

    // Moves the tested file into the quarantine and adds its index entry. On success
    // "File quarantained" and code 10. Otherwise the file is where it was, with
    // "File can't be moved" and code 3; when the name no longer names the tested file
    // nothing is done and `changed` is set.
    //
    // The number starts at the count of entries and skips every name already taken
    // (numbers of restored or deleted items are reused, and their files may still be
    // there). The move goes by steps (see QuarantineStep) so that a kill at any moment
    // leaves the file in place or, after `reconcile`, in the quarantine with its entry
    // and owner-only. When the index entry cannot be written the file is put back, so
    // no file sits in the quarantine without the record of where it came from.
    InfectionOutcome quarantine(const InfectedFile& file);
    // The same for a file known only by its path (opened without following a link).
    InfectionOutcome quarantine(std::string_view path, std::string_view virusName);

    // Finishes every move a killed scan left half done: each AV<n>.QRT.intent gets its
    // index entry, its file made owner-only and named AV<n>.QRT. Answers how many
    // moves were settled.
    int reconcile();

    // Tests stop a move after a step, as a kill would.
    void setStepHook(std::function<void(QuarantineStep)> hook) { m_stepHook = std::move(hook); }

    const records::RecordLocation& location() const { return m_location; }

private:
    void reached(QuarantineStep step) const;

    records::RecordLocation m_location;
    const Clock& m_clock;
    std::function<void(QuarantineStep)> m_stepHook;
};

} // namespace vz::scan
