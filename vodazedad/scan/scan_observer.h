#pragma once

#include "common/records/scan_report.h"
#include "common/result.h"

#include <string>

namespace vz::scan {

// What became of one file of a scan, as the job knows it the moment the file is done.
struct FileFinding {
    enum class Kind {
        Clean,     // tested, nothing found
        Infection, // `virusName` found; `resultText` and `code` say what was done
        Problem,   // an error or warning: `resultText` is the reason (the 07 record's text)
    };
    Kind kind = Kind::Clean;
    std::string path;
    std::string virusName;
    std::string resultText;
    records::RecordCode code = records::RecordCode::InfectionLeft;
};

// Follows a scan as it happens: the command-line scanner prints from it, so what it
// shows never depends on the report being readable. Called on the worker thread.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void fileHandled(const FileFinding& finding) = 0;
    // A record (report line, log entry) could not be written; the scan goes on.
    virtual void recordNotWritten(const Error& error) = 0;
};

} // namespace vz::scan
