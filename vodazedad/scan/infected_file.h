#pragma once

#include "common/folder.h"
#include "common/records/scan_report.h"

#include <cstdint>
#include <string>

namespace vz::scan {

// An infected file as the engine's test left it. The walk hands over the folder it
// walked and the file it tested, held open, so that every action lands on exactly
// that file; without them (a caller that has only a path) the handling opens the
// file itself, never through a link.
struct InfectedFile {
    std::string path;
    std::string virusName;
    bool repairable = false; // the engine can try to clean it
    const files::Folder* folder = nullptr; // the folder that holds the file as `name`
    std::string name = {};
    const files::HeldFile* file = nullptr; // the file as it was tested
};

// What became of an infected file: the result text of the report record and its code
// (3 left in place, 4 cleaned, 6 deleted, 10 quarantined).
struct InfectionOutcome {
    std::string resultText;
    records::RecordCode code = records::RecordCode::InfectionLeft;
    // The name no longer named the tested file when the action came: nothing was done.
    bool changed = false;

    bool operator==(const InfectionOutcome&) const = default;
};

// The engine's repair of a file it has just tested. The scan job plugs in the engine
// session with the file's test record; tests plug in a fake.
class FileRepairer {
public:
    virtual ~FileRepairer() = default;
    // Repairs the file in place and answers the error code the engine left in the
    // file's test record: 0 when the file is clean now, anything else when it is not.
    virtual std::uint16_t repair(const InfectedFile& file) = 0;
};

} // namespace vz::scan
