#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vz {

// The drive types the system knows, with the numbers drive-type queries return.
enum class DriveType : std::uint32_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// One lettered drive: a mounted local or remote file system.
struct Drive {
    char letter = 'C';       // 'C' is always "/"; the others follow in mount-point order
    std::string root;        // the mount point with one final "/" ("/", "/home/", "/media/usb/")
    DriveType type = DriveType::Fixed;
    std::uint64_t device = 0; // the file system's device number, for staying on it in a walk
};

// One line of the mount table as the drive table needs it.
struct MountEntry {
    std::string mountPoint;  // unescaped
    std::string fileSystem;  // "ext4", "tmpfs", "nfs4", "fuse.sshfs", ...
    std::string source;      // "/dev/sda1", "server:/export", ...
    std::uint64_t device = 0;
    bool removableDevice = false; // the backing block device says it is removable
    bool opticalDevice = false;   // the backing block device is an optical drive
};

// Letters the mount table: "/" is C:, the other mount points follow in sorted order
// from D: up to Z:. Pseudo file systems get no letter, and neither does a second mount
// of a file system that already has one (a bind mount), so a whole-system scan tests
// every file once.
std::vector<Drive> letterDrives(std::vector<MountEntry> mounts);

// The drive-type rules: CD-ROM for iso9660/udf or an optical device, RAM disk for
// tmpfs/ramfs, remote for network file systems, removable when the device says so,
// fixed otherwise.
DriveType driveTypeOf(const MountEntry& mount);
bool isPseudoFileSystem(const std::string& fileSystem);

// The bit mask of lettered drives (bit 0 is A:), as the logical-drive query answers.
std::uint32_t logicalDriveMask(const std::vector<Drive>& drives);

// The machine's drive table (read from the mount table by the platform adapter).
class DriveTable {
public:
    virtual ~DriveTable() = default;
    virtual std::vector<Drive> drives() const = 0;
};

} // namespace vz
