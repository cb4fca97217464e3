#include "common/records/infection_log.h"

#include "common/files.h"
#include "common/records/record_lines.h"
#include "common/records/record_value.h"

namespace vz::records {

namespace {

constexpr std::size_t EntryLines = 3;

InfectionLogEntry parse(const detail::StoredLines& lines)
{
    return InfectionLogEntry { decodeValue(lines[0]), decodeValue(lines[1]), decodeValue(lines[2]) };
}

Result<std::vector<detail::StoredLines>> readStored(const RecordLocation& location)
{
    auto lines = detail::readRecordLines(location.infectionLog());
    if (!lines)
        return lines.error();
    return detail::completeGroups(*lines, EntryLines);
}

} // namespace

InfectionLogEntry infectionEntry(const LocalDateTime& when, std::string path, std::string virusName)
{
    return InfectionLogEntry { stamps::recordDateTime(when), std::move(path), std::move(virusName) };
}

Result<void> appendInfectionLogEntry(const RecordLocation& location, const InfectionLogEntry& entry)
{
    return detail::appendEntry(location.infectionLog(),
        { encodeValue(entry.dateTime), encodeValue(entry.path), encodeValue(entry.virusName) });
}

Result<std::vector<InfectionLogEntry>> readInfectionLog(const RecordLocation& location)
{
    auto stored = readStored(location);
    if (!stored)
        return stored.error();
    std::vector<InfectionLogEntry> entries;
    entries.reserve(stored->size());
    for (const auto& lines : *stored)
        entries.push_back(parse(lines));
    return entries;
}

Result<void> rewriteInfectionLog(const RecordLocation& location, const std::function<bool(const InfectionLogEntry&)>& keep)
{
    // Held across read and replace: an entry appended meanwhile is never lost.
    auto lock = files::FileLock::lockExclusive(location.infectionLog());
    if (!lock)
        return lock.error();
    auto stored = readStored(location);
    if (!stored)
        return stored.error();
    std::vector<detail::StoredLines> kept;
    for (auto& lines : *stored) {
        if (keep(parse(lines)))
            kept.push_back(std::move(lines));
    }
    if (kept.size() == stored->size())
        return Success {};
    return detail::replaceEntries(location.infectionLog(), kept);
}

} // namespace vz::records
