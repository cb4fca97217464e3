#include "common/records/record_lines.h"

#include "common/files.h"

namespace vz::records::detail {

Result<void> appendEntry(const std::string& path, const StoredLines& lines)
{
    return files::appendLines(path, lines);
}

Result<std::vector<std::string>> readRecordLines(const std::string& path)
{
    return files::readLines(path);
}

std::vector<StoredLines> completeGroups(const std::vector<std::string>& lines, std::size_t size)
{
    std::vector<StoredLines> groups;
    for (std::size_t i = 0; i + size <= lines.size(); i += size)
        groups.emplace_back(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.begin() + static_cast<std::ptrdiff_t>(i + size));
    return groups;
}

Result<void> replaceEntries(const std::string& path, const std::vector<StoredLines>& entries)
{
    std::string content;
    for (const auto& entry : entries)
        content += files::joinLinesCrLf(entry);
    return files::replaceFile(path, content);
}

} // namespace vz::records::detail
