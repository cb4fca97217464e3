#pragma once

#include "common/date_time.h"

#include <string>
#include <string_view>

namespace vz::records {

// Where the record files of one installation live. Nothing here creates a folder:
// the installation made `Reports/` and `Quarantine/`, or records are not written.
class RecordLocation {
public:
    static constexpr std::string_view ScanLogName = "index.dat";
    static constexpr std::string_view InfectionLogName = "viridx.dat";
    static constexpr std::string_view QuarantineIndexName = "qtidx.dat";

    // The installation folder; a final "/" is added when it lacks one.
    explicit RecordLocation(std::string_view installFolder);

    const std::string& installFolder() const { return m_installFolder; }
    std::string reportsFolder() const;    // <installation>/Reports/
    std::string quarantineFolder() const; // <installation>/Quarantine/
    std::string scanLog() const;
    std::string infectionLog() const;
    std::string quarantineIndex() const;

    // A scan report named by the local time a scan or detection started:
    // "<installation>/Reports/dd.mm.yyyy  hh.mm.ss.txt" (two blanks).
    std::string reportPath(const LocalDateTime& start) const;

private:
    std::string m_installFolder;
};

} // namespace vz::records
