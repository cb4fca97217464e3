#include "common/drives.h"

#include <algorithm>
#include <set>

namespace vz {

namespace {

std::string withSlash(std::string s)
{
    if (s.empty() || s.back() != '/')
        s += '/';
    return s;
}

bool startsWith(const std::string& s, std::string_view p)
{
    return s.size() >= p.size() && s.compare(0, p.size(), p) == 0;
}

} // namespace

bool isPseudoFileSystem(const std::string& fs)
{
    static const std::set<std::string> pseudo = {
        "proc", "sysfs", "cgroup", "cgroup2", "devpts", "debugfs", "tracefs", "mqueue", "securityfs", "pstore",
        "bpf", "configfs", "fusectl", "hugetlbfs", "autofs", "binfmt_misc", "efivarfs", "selinuxfs", "devtmpfs",
        "nsfs", "rpc_pipefs", "nfsd", "sockfs", "pipefs", "anon_inodefs", "ramfs-internal", "overlay-internal",
    };
    return pseudo.count(fs) != 0;
}

DriveType driveTypeOf(const MountEntry& m)
{
    static const std::set<std::string> remote = {
        "nfs", "nfs4", "cifs", "smb", "smb3", "smbfs", "9p", "ceph", "glusterfs", "afs", "ncpfs", "coda",
        "fuse.sshfs", "sshfs", "fuse.glusterfs", "fuse.s3fs", "fuse.rclone", "davfs", "fuse.davfs", "lustre", "gfs2",
    };
    if (m.fileSystem == "iso9660" || m.fileSystem == "udf" || m.opticalDevice)
        return DriveType::CdRom;
    if (m.fileSystem == "tmpfs" || m.fileSystem == "ramfs")
        return DriveType::RamDisk;
    if (remote.count(m.fileSystem))
        return DriveType::Remote;
    if (m.removableDevice)
        return DriveType::Removable;
    return DriveType::Fixed;
}

std::vector<Drive> letterDrives(std::vector<MountEntry> mounts)
{
    // The mounts still reachable. A later mount at the same point, or at one of its
    // parent folders, hides an earlier one (the table lists mounts in the order they
    // were made). The root file system hides nothing: everything hangs under it,
    // whichever line of the table it is on. Pseudo file systems hide like any other.
    for (auto& m : mounts)
        m.mountPoint = withSlash(m.mountPoint);
    std::vector<MountEntry> visible;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        if (isPseudoFileSystem(mounts[i].fileSystem))
            continue;
        bool hidden = false;
        for (std::size_t j = i + 1; j < mounts.size() && !hidden; ++j) {
            const std::string& later = mounts[j].mountPoint;
            hidden = later == mounts[i].mountPoint || (later != "/" && startsWith(mounts[i].mountPoint, later));
        }
        if (!hidden)
            visible.push_back(mounts[i]);
    }
    std::sort(visible.begin(), visible.end(), [](const MountEntry& a, const MountEntry& b) {
        if (a.mountPoint == "/" || b.mountPoint == "/")
            return a.mountPoint == "/" && b.mountPoint != "/";
        return a.mountPoint < b.mountPoint;
    });

    std::vector<Drive> drives;
    std::set<std::uint64_t> lettered;
    char next = 'D';
    for (const auto& m : visible) {
        if (m.device != 0 && lettered.count(m.device))
            continue; // a second mount of a file system that already has a letter
        char letter;
        if (m.mountPoint == "/")
            letter = 'C';
        else if (next <= 'Z')
            letter = next++;
        else
            break;
        lettered.insert(m.device);
        drives.push_back(Drive { letter, m.mountPoint, driveTypeOf(m), m.device });
    }
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return drives;
}

std::uint32_t logicalDriveMask(const std::vector<Drive>& drives)
{
    std::uint32_t mask = 0;
    for (const auto& d : drives)
        mask |= 1u << (d.letter - 'A');
    return mask;
}

} // namespace vz
