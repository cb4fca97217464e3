#pragma once

#include "common/date_time.h"

#include <optional>
#include <string>
#include <string_view>

// How one value is stored on one line of a record file.
//
// The record files are fixed layouts of lines (nine per scan-log entry, three per
// infection, four per quarantine item, two per report record with tab-separated
// fields). Values are stored as they are, with one exception: a value that holds a
// line end (or, in a scan report field, a tab) would add lines or fields, and on Linux
// a file name may hold both. Such a value is stored as the marker ESC (0x1B) followed
// by the value with "\\", "\r", "\n" and "\t" written as backslash escapes. A value
// that happens to begin with the marker is stored the same way, so reading is never
// ambiguous. Every other value, which is every value in files written before, is
// stored byte for byte ("%d" stays "%d", a backslash stays a backslash).
namespace vz::records {

inline constexpr char ValueMarker = '\x1b';

// What else besides line ends would break the layout the value goes into.
enum class Separators { LineEnds, LineEndsAndTabs };

std::string encodeValue(std::string_view value, Separators separators = Separators::LineEnds);
std::string decodeValue(std::string_view stored);

// A number line as the programs read it: optional blanks and sign, then the leading
// digits; 0 when there are none.
long parseNumber(std::string_view line);

// "dd/mm/yyyy hh:mm", the date-time stamp of the record files; nothing for another text.
// Seconds are 0 and the weekday is left at its default.
std::optional<LocalDateTime> parseRecordDateTime(std::string_view stamp);

} // namespace vz::records
