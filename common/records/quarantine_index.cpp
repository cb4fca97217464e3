#include "common/records/quarantine_index.h"

#include "common/files.h"
#include "common/records/record_lines.h"
#include "common/records/record_value.h"
#include "common/text.h"

namespace vz::records {

namespace {

constexpr std::size_t EntryLines = 4;

QuarantineEntry parse(const detail::StoredLines& lines)
{
    return QuarantineEntry { decodeValue(lines[0]), decodeValue(lines[1]), decodeValue(lines[2]), decodeValue(lines[3]) };
}

Result<std::vector<detail::StoredLines>> readStored(const RecordLocation& location)
{
    auto lines = detail::readRecordLines(location.quarantineIndex());
    if (!lines)
        return lines.error();
    return detail::completeGroups(*lines, EntryLines);
}

} // namespace

std::string quarantineFileName(int number)
{
    return text::format("AV%d.QRT", number);
}

QuarantineEntry quarantineEntry(const LocalDateTime& when, std::string fileName, std::string virusName, std::string formerPath)
{
    return QuarantineEntry { stamps::recordDateTime(when), std::move(fileName), std::move(virusName), std::move(formerPath) };
}

Result<void> appendQuarantineEntry(const RecordLocation& location, const QuarantineEntry& entry)
{
    return detail::appendEntry(location.quarantineIndex(),
        { encodeValue(entry.dateTime), encodeValue(entry.fileName), encodeValue(entry.virusName), encodeValue(entry.formerPath) });
}

Result<std::vector<QuarantineEntry>> readQuarantineIndex(const RecordLocation& location)
{
    return detail::parseEntries<QuarantineEntry>(readStored(location), parse);
}

Result<std::vector<QuarantineEntry>> listQuarantineEntries(const RecordLocation& location)
{
    auto all = readQuarantineIndex(location);
    if (!all)
        return all.error();
    std::vector<QuarantineEntry> listed;
    for (auto& e : *all) {
        if (!e.formerPath.empty())
            listed.push_back(std::move(e));
    }
    return listed;
}

int quarantineCount(const RecordLocation& location)
{
    auto lines = detail::readRecordLines(location.quarantineIndex());
    if (!lines)
        return 0;
    // A group counts as soon as its first line is there, as the count always did.
    int count = 0;
    for (std::size_t i = 0; i < lines->size() && !(*lines)[i].empty(); i += EntryLines)
        ++count;
    return count;
}

Result<void> rewriteQuarantineIndex(const RecordLocation& location, const std::function<bool(const QuarantineEntry&)>& keep)
{
    return detail::rewriteKept<QuarantineEntry>(location.quarantineIndex(), [&] { return readStored(location); }, parse, keep);
}

} // namespace vz::records
