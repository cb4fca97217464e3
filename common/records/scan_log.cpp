#include "common/records/scan_log.h"

#include "common/files.h"
#include "common/records/record_lines.h"
#include "common/records/record_value.h"
#include "common/text.h"

namespace vz::records {

namespace {

constexpr std::size_t EntryLines = 9;
constexpr std::string_view EntryStart = "***";
constexpr std::string_view StartupTitle = "Startup";

detail::StoredLines store(const ScanLogEntry& e)
{
    detail::StoredLines lines {
        std::string(EntryStart),
        encodeValue(e.reportPath),
        encodeValue(e.dateTime),
        std::to_string(e.kind),
        std::to_string(e.resultCode),
    };
    if (e.isScan()) {
        lines.push_back(encodeValue(e.task));
        lines.push_back(encodeValue(e.duration));
        lines.push_back(std::to_string(e.warnings));
        lines.push_back(std::to_string(e.infections));
    } else {
        lines.resize(EntryLines);
    }
    return lines;
}

ScanLogEntry parse(const detail::StoredLines& lines)
{
    ScanLogEntry e;
    e.reportPath = decodeValue(lines[1]);
    e.dateTime = decodeValue(lines[2]);
    // Only the line "0" makes a scan entry; any other line is an info entry.
    int kind = static_cast<int>(parseNumber(lines[3]));
    e.kind = lines[3] == "0" ? ScanEntryKind : kind == ScanEntryKind ? OtherEntryKind : kind;
    e.resultCode = static_cast<int>(parseNumber(lines[4]));
    e.task = decodeValue(lines[5]);
    e.duration = decodeValue(lines[6]);
    e.warnings = parseNumber(lines[7]);
    e.infections = parseNumber(lines[8]);
    return e;
}

// A line holding "***", the report path or title, a stamp, and six more lines none
// of which is the "***" that begins every entry we write: an entry cut short and
// followed by a whole one is passed over, not read with the whole one's first lines.
bool isWholeEntry(const std::string* lines)
{
    if (lines[0].find(EntryStart) == std::string::npos || !detail::isStamp(lines[2]))
        return false;
    for (std::size_t i = 1; i < EntryLines; ++i) {
        if (lines[i] == EntryStart)
            return false;
    }
    return true;
}

// The entries as they stand on disk: skip to a line holding "***" that begins a whole
// entry, take it and the next eight lines, repeat.
Result<std::vector<detail::StoredLines>> readStored(const RecordLocation& location)
{
    auto lines = detail::readRecordLines(location.scanLog());
    if (!lines)
        return lines.error();
    return detail::wellFormedGroups(*lines, EntryLines, isWholeEntry);
}

} // namespace

int scanResultCode(int scanType, bool aborted, long infections)
{
    int status = aborted ? ScanStatus::Aborted : infections > 0 ? ScanStatus::InfectionsFound : ScanStatus::Completed;
    return scanType * 16 + status;
}

std::string joinTargets(const std::vector<std::string>& targets)
{
    std::string out;
    for (const auto& t : targets) {
        if (!out.empty())
            out += "; ";
        out += t;
    }
    return out;
}

std::string formatDuration(long seconds)
{
    if (seconds < 0)
        seconds = 0;
    return text::format("%02ld:%02ld", seconds / 60, seconds % 60);
}

ScanLogEntry scanEntry(const ScanSummary& s)
{
    ScanLogEntry e;
    e.reportPath = s.reportPath;
    e.dateTime = stamps::recordDateTime(s.start);
    e.kind = ScanEntryKind;
    e.resultCode = scanResultCode(s.scanType, s.aborted, s.infections);
    e.task = joinTargets(s.targets);
    e.duration = formatDuration(s.durationSeconds);
    e.warnings = s.warnings;
    e.infections = s.infections;
    return e;
}

ScanLogEntry startupEntry(const LocalDateTime& when)
{
    ScanLogEntry e;
    e.reportPath = std::string(StartupTitle);
    e.dateTime = stamps::recordDateTime(when);
    e.kind = InfoEntryKind;
    e.resultCode = 0;
    return e;
}

Result<void> appendScanLogEntry(const RecordLocation& location, const ScanLogEntry& entry)
{
    return detail::appendEntry(location.scanLog(), store(entry));
}

Result<std::vector<ScanLogEntry>> readScanLog(const RecordLocation& location)
{
    return detail::parseEntries<ScanLogEntry>(readStored(location), parse);
}

Result<void> rewriteScanLog(const RecordLocation& location, const std::function<bool(const ScanLogEntry&)>& keep)
{
    return detail::rewriteKept<ScanLogEntry>(location.scanLog(), [&] { return readStored(location); }, parse, keep);
}

} // namespace vz::records
