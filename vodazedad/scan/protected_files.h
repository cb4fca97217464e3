#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vz::scan {

// Files whose errors and warnings a scan neither counts nor records: the locked
// registry hives of the system folder's literal list, any path with "pagefile" after
// its first character, and the swap files the system uses now.
class ProtectedFiles {
public:
    ProtectedFiles(std::string systemFolder, std::vector<std::string> swapFiles);
    bool isProtected(std::string_view path) const;

private:
    std::string m_systemFolderLower;
    std::vector<std::string> m_swapFiles;
};

} // namespace vz::scan
