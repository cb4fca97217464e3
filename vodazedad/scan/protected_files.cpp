#include "vodazedad/scan/protected_files.h"

#include "common/text.h"

namespace vz::scan {

namespace {

constexpr const char* Hives[] = {
    "/system32/config/default", "/system32/config/default.log", "/system32/config/sam", "/system32/config/sam.log",
    "/system32/config/security", "/system32/config/security.log", "/system32/config/software",
    "/system32/config/software.log", "/system32/config/system", "/system32/config/system.log",
};

} // namespace

ProtectedFiles::ProtectedFiles(std::string systemFolder, std::vector<std::string> swapFiles)
    : m_systemFolderLower(text::toLower(systemFolder))
    , m_swapFiles(std::move(swapFiles))
{
}

bool ProtectedFiles::isProtected(std::string_view path) const
{
    for (const auto& swap : m_swapFiles) {
        if (path == swap)
            return true;
    }
    std::string lower = text::toLower(path);
    if (!m_systemFolderLower.empty()) {
        for (std::size_t pos; (pos = lower.find(m_systemFolderLower)) != std::string::npos;)
            lower.erase(pos, m_systemFolderLower.size());
    }
    for (const char* hive : Hives) {
        if (lower == hive)
            return true;
    }
    return lower.find("pagefile", 1) != std::string::npos;
}

} // namespace vz::scan
