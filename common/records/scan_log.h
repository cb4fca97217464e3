#pragma once

#include "common/date_time.h"
#include "common/records/record_location.h"
#include "common/result.h"

#include <functional>
#include <string>
#include <vector>

// The scan log Reports/index.dat: entries of nine lines, a line "***" first.
//
//   1 "***"                          "***"
//   2 full path of the scan report   title "Startup"
//   3 date-time stamp of the start   date-time stamp
//   4 "0"                            "2"
//   5 scan type x 16 + status        "0"
//   6 targets joined by "; "         (empty)
//   7 duration "mm:ss"               (empty)
//   8 warnings                       (empty)
//   9 infections                     (empty)
namespace vz::records {

// The kinds of scan, the high part of an entry's result code.
namespace ScanType {
inline constexpr int EntireSystem = 0;
inline constexpr int Memory = 1;
inline constexpr int SystemAreas = 2;
inline constexpr int HardDrives = 3;
inline constexpr int RemovableMedia = 4;
inline constexpr int OpticalMedia = 5;
inline constexpr int Folder = 6; // a folder chosen by the user or a scheduled scan
} // namespace ScanType

// The low part of an entry's result code.
namespace ScanStatus {
inline constexpr int Completed = 0;
inline constexpr int Aborted = 1;
inline constexpr int InfectionsFound = 2;
} // namespace ScanStatus

inline constexpr int ScanEntryKind = 0;
inline constexpr int InfoEntryKind = 2;
// The kind read from a line other than "0" that holds no other number ("", "00").
inline constexpr int OtherEntryKind = -1;

struct ScanLogEntry {
    std::string reportPath; // the scan report; the title of an info entry
    std::string dateTime;   // "dd/mm/yyyy hh:mm"
    int kind = ScanEntryKind; // any kind other than 0 is an info entry
    int resultCode = 0;     // scan type x 16 + status
    // Lines 6 to 9 belong to scan entries; an info entry writes them empty.
    std::string task;       // the scanned targets joined by "; "
    std::string duration;   // "mm:ss" ("0" from the guard)
    long warnings = 0;
    long infections = 0;

    bool isScan() const { return kind == ScanEntryKind; }
    int scanType() const { return resultCode / 16; }
    int status() const { return resultCode % 16; }

    bool operator==(const ScanLogEntry&) const = default;
};

// Status 1 when aborted, else 2 when anything was found, else 0; times 16 plus type.
int scanResultCode(int scanType, bool aborted, long infections);
// The targets joined by "; ".
std::string joinTargets(const std::vector<std::string>& targets);
// Minutes and seconds, "%02d:%02d".
std::string formatDuration(long seconds);

// What a finished scan hands to the scan log.
struct ScanSummary {
    std::string reportPath;
    LocalDateTime start;
    int scanType = ScanType::Folder;
    bool aborted = false;
    std::vector<std::string> targets;
    long durationSeconds = 0;
    long warnings = 0;
    long infections = 0;
};

ScanLogEntry scanEntry(const ScanSummary& summary);
// The info entry "Startup" written once the engine has started.
ScanLogEntry startupEntry(const LocalDateTime& when);

// Appends one entry in one piece. Fails (and writes nothing) when Reports/ is missing
// or the file cannot be opened; callers that only record ignore the failure.
Result<void> appendScanLogEntry(const RecordLocation& location, const ScanLogEntry& entry);

// Every whole entry in file order. Lines before an entry's "***" line are skipped,
// and so is an entry cut short (its stamp missing, or a "***" line inside it).
Result<std::vector<ScanLogEntry>> readScanLog(const RecordLocation& location);

// Rewrites the scan log with the entries `keep` accepts, in file order with the same
// lines, through a temporary file and a rename. Writes nothing when all are kept.
Result<void> rewriteScanLog(const RecordLocation& location, const std::function<bool(const ScanLogEntry&)>& keep);

} // namespace vz::records
