#pragma once

#include "common/result.h"

#include <string>
#include <string_view>
#include <vector>

// Line-level helpers shared by the record writers and readers of this folder.
namespace vz::records::detail {

// One entry as its lines stand on disk (values already stored, see record_value.h).
using StoredLines = std::vector<std::string>;

// Appends one entry in one piece, so that entries of two writers never interleave.
Result<void> appendEntry(const std::string& path, const StoredLines& lines);

// Reads the lines of a record file, the CR before each LF dropped.
Result<std::vector<std::string>> readRecordLines(const std::string& path);

// Splits lines into complete groups of `size` lines; an incomplete group at the end
// of the file is left out.
std::vector<StoredLines> completeGroups(const std::vector<std::string>& lines, std::size_t size);

// Replaces the whole file with the entries through a temporary file and a rename, so
// that a crash or a full disk leaves the old index or the new one, never a part.
Result<void> replaceEntries(const std::string& path, const std::vector<StoredLines>& entries);

} // namespace vz::records::detail
