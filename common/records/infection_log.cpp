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

// A stamp, a full path and the virus name, which is never a stamp: an entry cut
// after its path is not read with the next entry's stamp as its virus name.
bool isWholeEntry(const std::string* lines)
{
    return detail::isStamp(lines[0]) && detail::isFullPath(lines[1]) && !detail::isStamp(lines[2]);
}

Result<std::vector<detail::StoredLines>> readStored(const RecordLocation& location)
{
    auto lines = detail::readRecordLines(location.infectionLog());
    if (!lines)
        return lines.error();
    return detail::wellFormedGroups(*lines, EntryLines, isWholeEntry);
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
    return detail::parseEntries<InfectionLogEntry>(readStored(location), parse);
}

Result<void> rewriteInfectionLog(const RecordLocation& location, const std::function<bool(const InfectionLogEntry&)>& keep)
{
    return detail::rewriteKept<InfectionLogEntry>(location.infectionLog(), [&] { return readStored(location); }, parse, keep);
}

} // namespace vz::records
