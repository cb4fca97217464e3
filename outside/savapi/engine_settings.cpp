#include "outside/savapi/engine_settings.h"

#include <charconv>
#include <limits>

namespace vz::savapi {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

template<typename T>
bool parseNumber(std::string_view text, T& out)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > std::numeric_limits<T>::max())
        return false;
    out = static_cast<T>(value);
    return true;
}

} // namespace

bool parseEngineSettings(std::string_view text, EngineSettings& settings)
{
    bool inEngine = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view {} : text.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                return false;
            inEngine = equalsIgnoreCase(trim(line.substr(1, line.size() - 2)), "Engine");
            continue;
        }
        if (!inEngine)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return false;
        const std::string_view name = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        bool ok = true;
        if (equalsIgnoreCase(name, "TempFolder"))
            ok = !value.empty() && value.front() == '/' && (settings.temporaryParent = std::string(value), true);
        else if (equalsIgnoreCase(name, "MaxFileSize"))
            ok = parseNumber(value, settings.maxFileSize);
        else if (equalsIgnoreCase(name, "MaxScanSize"))
            ok = parseNumber(value, settings.maxScanSize);
        else if (equalsIgnoreCase(name, "MaxRecursion"))
            ok = parseNumber(value, settings.maxRecursion);
        else if (equalsIgnoreCase(name, "MaxFiles"))
            ok = parseNumber(value, settings.maxFiles);
        else if (equalsIgnoreCase(name, "VerdictCache"))
            ok = value == "0" ? (settings.verdictCacheEntries = 0, true)
                              : parseNumber(value, settings.verdictCacheEntries) && settings.verdictCacheEntries <= MostVerdictCacheEntries;
        if (!ok)
            return false;
    }
    return true;
}

} // namespace vz::savapi
