#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

// The comparisons the system makes "without regard to case". They are ASCII-only on
// purpose: a lower-cased copy of a path is for comparing, never for opening a file.
namespace vz::text {

char toLowerAscii(char c);
char toUpperAscii(char c);
std::string toLower(std::string_view s);
std::string toUpper(std::string_view s);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
// Negative, zero or positive like strcmp, comparing lower-cased bytes.
int compareIgnoreCase(std::string_view a, std::string_view b);
bool startsWithIgnoreCase(std::string_view s, std::string_view prefix);
bool endsWithIgnoreCase(std::string_view s, std::string_view suffix);
// Position of needle in haystack, or npos.
std::size_t findIgnoreCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);

// The longest prefix of s of at most maxBytes bytes that does not cut a UTF-8 character.
std::string_view truncateUtf8(std::string_view s, std::size_t maxBytes);

std::string trim(std::string_view s);

// Puts the values in place of the template's "%s" in order ("%%" gives "%"); any other
// "%" stays as it is. Safe for templates that come from a translation catalog, which a
// printf format never is.
std::string fillTemplate(std::string_view templ, std::initializer_list<std::string_view> values);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace vz::text
