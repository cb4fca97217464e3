#pragma once

#include "driver/kernel_port.h"
#include "driver/pool_block.h"

#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vz::driver {

inline constexpr std::size_t kMaxPatterns = 64;

// The wildcard match of the name filter lists. The name's letters a-z are compared in
// upper case, the pattern's characters as they are, so a lower-case letter in a pattern
// never matches. An empty pattern matches nothing, and a plain character ending a
// pattern after a "*" can never match at the end of a name ("*A" matches nothing).
bool wildcardMatch(std::string_view pattern, std::string_view name);

// One list of up to 64 patterns. Every stored pattern begins and ends with "*".
class PatternList {
public:
    explicit PatternList(KernelPort& port) : m_port(port) {}

    // Splits the text at ";" into patterns, skipping empty tokens and tokens whose
    // block the pool cannot give.
    void parse(std::string_view text);
    void clear() { m_patterns.clear(); }

    std::size_t count() const { return m_patterns.size(); }
    std::string_view pattern(std::size_t index) const;
    bool anyMatches(std::string_view name) const;

private:
    KernelPort& m_port;
    std::vector<PoolBlock> m_patterns;
};

// The include and exclude patterns from the driver filter record. A name is examined
// when no exclude pattern and at least one include pattern matches it.
class NameFilterLists {
public:
    explicit NameFilterLists(KernelPort& port) : m_include(port), m_exclude(port) {}

    // Replaces both lists; a test running meanwhile sees the old lists or the new ones.
    void rebuild(std::string_view includeText, std::string_view excludeText);
    bool examine(std::string_view name) const;

    std::vector<std::string> includePatterns() const;
    std::vector<std::string> excludePatterns() const;

private:
    mutable std::shared_mutex m_lock;
    PatternList m_include;
    PatternList m_exclude;
};

} // namespace vz::driver
