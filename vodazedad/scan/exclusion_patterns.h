#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vz::scan {

// Shell-style wildcard match, as fnmatch(3) without flags: "*" any run of bytes
// ("/" included), "?" one byte, "[abc]", "[a-z]", "[!abc]" (or "[^abc]") one byte of or
// not of the set, "\" takes the next byte literally. The whole text must match.
bool wildcardMatch(std::string_view pattern, std::string_view text);

// The command line's --exclude and --exclude-dir patterns. A pattern leaves out a file
// (or a folder, with all under it) when it matches the full path or the base name.
struct ExclusionPatterns {
    std::vector<std::string> files;
    std::vector<std::string> folders;

    bool empty() const { return files.empty() && folders.empty(); }
    bool excluded(std::string_view path, bool isFolder) const;
};

} // namespace vz::scan
