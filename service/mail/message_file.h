#pragma once

#include "common/result.h"

#include <string>
#include <string_view>

// The message file as the mail interceptor hands it over.
namespace vz::mail {

// The text with every line end as CR LF: a lone LF or a lone CR becomes CR LF, so
// that the parser finds the lines of a file written with either convention.
std::string withCrLfLineEnds(std::string_view text);

// Writes content to a file that must not exist yet (never through a name planted
// there); a partly written file is removed again.
Result<void> writeNewFile(const std::string& path, std::string_view content);

// Replaces the message file with content through a file named like it with ".TMP"
// appended, created anew (a leftover of that name is removed first, never written
// through) with the message file's permission bits, and a rename over the message
// file. On failure the message file is unchanged.
Result<void> replaceMessageFile(const std::string& path, std::string_view content);

} // namespace vz::mail
