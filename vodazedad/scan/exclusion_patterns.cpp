#include "vodazedad/scan/exclusion_patterns.h"

namespace vz::scan {

namespace {

// Whether `c` is in the bracket set starting after "[" at `p`; `p` ends past the "]".
// False with `p` unchanged when the set has no closing "]" (then "[" is literal).
bool matchSet(std::string_view pattern, std::size_t& p, unsigned char c, bool& closed)
{
    std::size_t i = p;
    bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negate)
        ++i;
    bool found = false;
    bool first = true;
    while (i < pattern.size() && (first || pattern[i] != ']')) {
        first = false;
        unsigned char lo = static_cast<unsigned char>(pattern[i]);
        if (lo == '\\' && i + 1 < pattern.size())
            lo = static_cast<unsigned char>(pattern[++i]);
        unsigned char hi = lo;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            hi = static_cast<unsigned char>(pattern[i + 2]);
            if (hi == '\\' && i + 3 < pattern.size())
                hi = static_cast<unsigned char>(pattern[++i + 2]);
            i += 2;
        }
        if (c >= lo && c <= hi)
            found = true;
        ++i;
    }
    closed = i < pattern.size();
    if (!closed)
        return false;
    p = i + 1;
    return found != negate;
}

} // namespace

bool wildcardMatch(std::string_view pattern, std::string_view text)
{
    // Iterative, with one back-track point for the last "*": linear in practice and
    // never recursive, whatever the pattern.
    std::size_t p = 0, t = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size()) {
            char pc = pattern[p];
            if (pc == '*') {
                starP = ++p;
                starT = t;
                continue;
            }
            if (pc == '?') {
                ++p, ++t;
                continue;
            }
            if (pc == '[') {
                std::size_t q = p + 1;
                bool closed = false;
                bool in = matchSet(pattern, q, static_cast<unsigned char>(text[t]), closed);
                if (closed) {
                    if (in) {
                        p = q, ++t;
                        continue;
                    }
                } else if (text[t] == '[') {
                    ++p, ++t;
                    continue;
                }
            } else {
                if (pc == '\\' && p + 1 < pattern.size())
                    pc = pattern[p + 1];
                if (pc == text[t]) {
                    p += pattern[p] == '\\' && p + 1 < pattern.size() ? 2 : 1;
                    ++t;
                    continue;
                }
            }
        }
        if (starP == std::string_view::npos)
            return false;
        p = starP;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool ExclusionPatterns::excluded(std::string_view path, bool isFolder) const
{
    std::string_view trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.remove_suffix(1);
    auto slash = trimmed.rfind('/');
    std::string_view base = slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1);
    for (const auto& pattern : isFolder ? folders : files) {
        if (wildcardMatch(pattern, trimmed) || wildcardMatch(pattern, base))
            return true;
    }
    return false;
}

} // namespace vz::scan
