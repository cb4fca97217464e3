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

bool isQuarantineFileName(std::string_view stored)
{
    std::string name = decodeValue(stored);
    std::string_view digits = name;
    if (!digits.starts_with("AV") || !digits.ends_with(".QRT"))
        return false;
    digits = digits.substr(2, digits.size() - 6);
    return !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
}

// A stamp, a quarantine file name, a virus name and the former path: a full path, or
// empty in an item the lists skip.
bool isWholeEntry(const std::string* lines)
{
    return detail::isStamp(lines[0]) && isQuarantineFileName(lines[1])
        && (lines[3].empty() || detail::isFullPath(lines[3]));
}

Result<std::vector<detail::StoredLines>> readStored(const RecordLocation& location)
{
    auto lines = detail::readRecordLines(location.quarantineIndex());
    if (!lines)
        return lines.error();
    return detail::wellFormedGroups(*lines, EntryLines, isWholeEntry);
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
    // Whole entries up to the first empty line where an entry would begin. Lines of a
    // damaged entry are passed over one by one, so a cut entry neither counts nor
    // shifts the entries after it; the numbering skips a name whose file exists, so
    // an item whose entry was cut is never overwritten.
    int count = 0;
    std::size_t i = 0;
    while (i < lines->size() && !(*lines)[i].empty()) {
        if (i + EntryLines <= lines->size() && isWholeEntry(&(*lines)[i])) {
            ++count;
            i += EntryLines;
        } else {
            ++i;
        }
    }
    return count;
}

Result<void> rewriteQuarantineIndex(const RecordLocation& location, const std::function<bool(const QuarantineEntry&)>& keep)
{
    return detail::rewriteKept<QuarantineEntry>(location.quarantineIndex(), [&] { return readStored(location); }, parse, keep);
}

} // namespace vz::records
