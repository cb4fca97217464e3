#include "common/text.h"

#include <cstdarg>
#include <cstdio>

namespace vz::text {

char toLowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char toUpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string toLower(std::string_view s)
{
    std::string out(s);
    for (auto& c : out)
        c = toLowerAscii(c);
    return out;
}

std::string toUpper(std::string_view s)
{
    std::string out(s);
    for (auto& c : out)
        c = toUpperAscii(c);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && compareIgnoreCase(a, b) == 0;
}

int compareIgnoreCase(std::string_view a, std::string_view b)
{
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(toLowerAscii(a[i]));
        auto cb = static_cast<unsigned char>(toLowerAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool startsWithIgnoreCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && equalsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

bool endsWithIgnoreCase(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && equalsIgnoreCase(s.substr(s.size() - suffix.size()), suffix);
}

std::size_t findIgnoreCase(std::string_view haystack, std::string_view needle, std::size_t from)
{
    if (needle.size() > haystack.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        if (equalsIgnoreCase(haystack.substr(i, needle.size()), needle))
            return i;
    }
    return std::string_view::npos;
}

std::string_view truncateUtf8(std::string_view s, std::size_t maxBytes)
{
    if (s.size() <= maxBytes)
        return s;
    std::size_t end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

std::string trim(std::string_view s)
{
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

std::string fillTemplate(std::string_view templ, std::initializer_list<std::string_view> values)
{
    std::string out;
    auto next = values.begin();
    for (std::size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if (c == '%' && i + 1 < templ.size()) {
            if (templ[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (templ[i + 1] == 's' && next != values.end()) {
                out += *next++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, args);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    return out;
}

} // namespace vz::text
