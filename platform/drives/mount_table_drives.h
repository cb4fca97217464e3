#pragma once

#include "common/drives.h"
#include "common/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace vz::platform {

// The drive table of this machine: the mounts of /proc/self/mountinfo, each with what
// its block device says of itself in sysfs (removable, optical), lettered by
// letterDrives. Both places are parameters so that tests can feed fixture files.
class MountTableDrives final : public DriveTable {
public:
    static constexpr const char* DefaultMountInfo = "/proc/self/mountinfo";
    static constexpr const char* DefaultBlockClass = "/sys/class/block";

    MountTableDrives(std::string mountInfoPath = DefaultMountInfo, std::string blockClassFolder = DefaultBlockClass);

    // The lettered drives. When the mount table cannot be read, "/" alone is C:, so
    // that a scan of the hard drives still covers the root file system.
    std::vector<Drive> drives() const override;

    // The mount table with device facts filled in, in the table's own order.
    Result<std::vector<MountEntry>> mountEntries() const;

private:
    std::string m_mountInfoPath;
    std::string m_blockClassFolder;
};

// One line of mountinfo, split and unescaped; nothing for a malformed line.
struct MountInfoLine {
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;        // the folder of the file system mounted ("/" unless a bind mount)
    std::string mountPoint;
    std::string fileSystem;
    std::string source;
};
bool parseMountInfoLine(std::string_view line, MountInfoLine& out);

// Undoes the kernel's octal escapes of mount table fields ("\040" is a space).
std::string unescapeMountField(std::string_view field);

} // namespace vz::platform
