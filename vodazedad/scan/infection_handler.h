#pragma once

#include "vodazedad/scan/infected_file.h"
#include "vodazedad/scan/quarantine_store.h"

namespace vz::scan {

// The values of the setting `Action` in the section `Options`.
namespace InfectionAction {
inline constexpr int Clean = 0;
inline constexpr int Quarantine = 1;
inline constexpr int Delete = 2;
} // namespace InfectionAction

// Carries out the chosen action on an infected file and tells the directory walk what
// to record. Runs on the scan worker thread, once per infected file.
class InfectionHandler {
public:
    InfectionHandler(QuarantineStore& quarantine, FileRepairer& repairer);

    // Clean: a file the engine cannot repair stays ("Virus can't be removed", 3); a
    // repaired file gives "File cleaned successfully", 4; a failed repair deletes the
    // file ("File deleted", 6, or 3 when even that fails). Quarantine: see
    // QuarantineStore::quarantine. Delete: "File deleted", 6, or an empty text and 3.
    // Any other action: an empty text and 3.
    //
    // Every action lands on the tested file only: one whose name meanwhile names
    // another file (or a link) is left alone, with `changed` set.
    InfectionOutcome handle(const InfectedFile& file, int action);

private:
    QuarantineStore& m_quarantine;
    FileRepairer& m_repairer;
};

} // namespace vz::scan
