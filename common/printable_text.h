#pragma once

#include <string>
#include <string_view>

namespace vz {

// File names (and engine texts) as the command-line scanner prints them. A name may hold
// any byte but "/" and NUL, so printed raw it could forge output lines or drive the
// terminal; these forms keep every byte visible and one name on one line.

// For a text line: line ends and tabs as \n, \r, \t, other control bytes as \xNN
// (ESC is \x1b); DEL and the C1 controls as \xNN of their bytes; a backslash doubled;
// the Unicode line separators and direction overrides as \uXXXX; each byte that is not
// part of valid UTF-8 as \xNN. Everything else is copied.
std::string printableText(std::string_view text);

// A JSON string literal (with its quotes): control characters, DEL, the C1 controls, the
// line separators and direction overrides as JSON escapes; a byte that is not part of
// valid UTF-8 as the lone surrogate \udcNN (what a reader with Python's
// "surrogateescape" turns back into the byte).
std::string jsonString(std::string_view text);

} // namespace vz
