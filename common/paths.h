#pragma once

#include <string>
#include <string_view>

// Paths are native: "/" joins and splits path parts wherever the system did so with
// a backslash. Folders held in memory (the installation folder) end with one "/".
namespace vz::paths {

inline constexpr char Separator = '/';

// folder + "/" + name, with exactly one separator between them.
std::string join(std::string_view folder, std::string_view name);

// The text with one final separator (none added when it already ends with one).
std::string withTrailingSeparator(std::string_view folder);

// Everything after the last separator ("a/b/c.txt" -> "c.txt"; no separator -> all).
std::string_view fileName(std::string_view path);

// Everything before the last separator ("a/b/c.txt" -> "a/b"; "/x" -> ""; none -> "").
std::string_view folderOf(std::string_view path);

// The extension with its dot ("a/b.tar.gz" -> ".gz"), empty when the name has none.
std::string_view extension(std::string_view path);

// The path made absolute against `base` (a full path) and with "." and ".." parts and
// doubled separators taken out, without looking at the file system.
std::string absolute(std::string_view path, std::string_view base);

} // namespace vz::paths
