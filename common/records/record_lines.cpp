#include "common/records/record_lines.h"

#include "common/files.h"
#include "common/records/record_value.h"

namespace vz::records::detail {

Result<void> appendEntry(const std::string& path, const StoredLines& lines)
{
    return files::appendLines(path, lines);
}

Result<std::vector<std::string>> readRecordLines(const std::string& path)
{
    return files::readLines(path);
}

std::vector<StoredLines> wellFormedGroups(const std::vector<std::string>& lines, std::size_t size, const EntryTest& wellFormed)
{
    std::vector<StoredLines> groups;
    std::size_t i = 0;
    while (i + size <= lines.size()) {
        if (!wellFormed(&lines[i])) {
            ++i;
            continue;
        }
        groups.emplace_back(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.begin() + static_cast<std::ptrdiff_t>(i + size));
        i += size;
    }
    return groups;
}

bool isStamp(std::string_view stored)
{
    return parseRecordDateTime(decodeValue(stored)).has_value();
}

bool isFullPath(std::string_view stored)
{
    return decodeValue(stored).starts_with('/');
}

Result<void> replaceEntries(const std::string& path, const std::vector<StoredLines>& entries)
{
    std::string content;
    for (const auto& entry : entries)
        content += files::joinLinesCrLf(entry);
    return files::replaceFile(path, content);
}

} // namespace vz::records::detail
