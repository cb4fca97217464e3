#include "driver/name_filter_lists.h"

#include <cstring>
#include <mutex>

namespace vz::driver {

namespace {

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// What is left of the pattern when the name has run out: a match exactly when it is
// empty or starts with "*"; nothing after that first character is looked at.
bool restMatchesEndOfName(std::string_view rest)
{
    return rest.empty() || rest.front() == '*';
}

bool matchFrom(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0;
    std::size_t n = 0;
    while (p == pattern.size() || pattern[p] != '*') {
        if (n == name.size())
            return restMatchesEndOfName(pattern.substr(p));
        if (p == pattern.size())
            return false;
        if (upperAscii(name[n]) != pattern[p])
            return false;
        ++p;
        ++n;
    }
    std::string_view rest = pattern.substr(p + 1);
    if (n == name.size())
        return restMatchesEndOfName(rest);
    if (rest.empty())
        return true;
    for (std::size_t at = n; at < name.size(); ++at) {
        if (upperAscii(name[at]) == rest.front() && wildcardMatch(rest.substr(1), name.substr(at + 1)))
            return true;
    }
    return restMatchesEndOfName(rest);
}

} // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name)
{
    if (pattern.empty())
        return false;
    return matchFrom(pattern, name);
}

void PatternList::parse(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && m_patterns.size() < kMaxPatterns) {
        std::size_t end = text.find(';', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view token = text.substr(start, end - start);
        start = end + 1;
        if (token.empty())
            continue;
        PoolBlock block = PoolBlock::allocate(m_port, token.size() + 9, kDriverPoolTag);
        if (!block.valid())
            continue;
        std::string pattern;
        if (token.front() != '*')
            pattern += '*';
        pattern += token;
        if (token.back() != '*')
            pattern += '*';
        std::memcpy(block.data(), pattern.c_str(), pattern.size() + 1);
        m_patterns.push_back(std::move(block));
    }
}

std::string_view PatternList::pattern(std::size_t index) const
{
    return m_patterns.at(index).data();
}

bool PatternList::anyMatches(std::string_view name) const
{
    for (const PoolBlock& block : m_patterns) {
        if (wildcardMatch(block.data(), name))
            return true;
    }
    return false;
}

void NameFilterLists::rebuild(std::string_view includeText, std::string_view excludeText)
{
    std::unique_lock lock(m_lock);
    m_include.clear();
    m_exclude.clear();
    m_include.parse(includeText);
    m_exclude.parse(excludeText);
}

bool NameFilterLists::examine(std::string_view name) const
{
    std::shared_lock lock(m_lock);
    if (m_exclude.anyMatches(name))
        return false;
    return m_include.anyMatches(name);
}

std::vector<std::string> NameFilterLists::includePatterns() const
{
    std::shared_lock lock(m_lock);
    std::vector<std::string> patterns;
    for (std::size_t i = 0; i < m_include.count(); ++i)
        patterns.emplace_back(m_include.pattern(i));
    return patterns;
}

std::vector<std::string> NameFilterLists::excludePatterns() const
{
    std::shared_lock lock(m_lock);
    std::vector<std::string> patterns;
    for (std::size_t i = 0; i < m_exclude.count(); ++i)
        patterns.emplace_back(m_exclude.pattern(i));
    return patterns;
}

} // namespace vz::driver
