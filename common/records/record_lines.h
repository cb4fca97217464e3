#pragma once

#include "common/files.h"
#include "common/result.h"

#include <functional>

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

// Whether `size` lines from `first` make one whole entry of a record file.
using EntryTest = std::function<bool(const std::string* first)>;

// Splits lines into the groups of `size` lines that `wellFormed` accepts, in file
// order. A group that does not fit (an entry cut short by a crash or a full disk)
// loses its first line and the search goes on from the next one, so a damaged entry
// never shifts the entries after it. An incomplete group at the end is left out.
std::vector<StoredLines> wellFormedGroups(const std::vector<std::string>& lines, std::size_t size, const EntryTest& wellFormed);

// Stored values as the entry tests judge them (decoded first).
bool isStamp(std::string_view stored);
bool isFullPath(std::string_view stored);

// Replaces the whole file with the entries through a temporary file and a rename, so
// that a crash or a full disk leaves the old index or the new one, never a part.
Result<void> replaceEntries(const std::string& path, const std::vector<StoredLines>& entries);

// Every stored entry of a record file, parsed.
template<typename Entry, typename Parse>
Result<std::vector<Entry>> parseEntries(const Result<std::vector<StoredLines>>& stored, Parse parse)
{
    if (!stored)
        return stored.error();
    std::vector<Entry> entries;
    entries.reserve(stored->size());
    for (const auto& lines : *stored)
        entries.push_back(parse(lines));
    return entries;
}

// Rewrites a record file with the entries `keep` accepts, in file order with the same
// lines. The file's lock is held across read and replace, so an entry appended
// meanwhile is never lost. Writes nothing when all are kept.
template<typename Entry, typename ReadStored, typename Parse>
Result<void> rewriteKept(const std::string& path, ReadStored readStored, Parse parse, const std::function<bool(const Entry&)>& keep)
{
    auto lock = files::FileLock::lockExclusive(path);
    if (!lock)
        return lock.error();
    Result<std::vector<StoredLines>> stored = readStored();
    if (!stored)
        return stored.error();
    std::vector<StoredLines> kept;
    for (auto& lines : *stored) {
        if (keep(parse(lines)))
            kept.push_back(std::move(lines));
    }
    if (kept.size() == stored->size())
        return Success {};
    return replaceEntries(path, kept);
}

} // namespace vz::records::detail
