#include "common/drives.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

namespace vz {

namespace {

MountEntry mount(std::string point, std::string fs, std::uint64_t device, std::string source = "/dev/sda1")
{
    MountEntry m;
    m.mountPoint = std::move(point);
    m.fileSystem = std::move(fs);
    m.source = std::move(source);
    m.device = device;
    return m;
}

MountEntry removable(MountEntry m)
{
    m.removableDevice = true;
    return m;
}

MountEntry optical(MountEntry m)
{
    m.opticalDevice = true;
    return m;
}

// "C:/ 3|D:/home/ 3" : letter, root and drive-type number of every drive.
std::string shown(const std::vector<Drive>& drives)
{
    std::string out;
    for (const auto& d : drives) {
        if (!out.empty())
            out += "|";
        out += std::string(1, d.letter) + ":" + d.root + " " + std::to_string(static_cast<unsigned>(d.type));
    }
    return out;
}

} // namespace

TEST(DriveLettering, MountTablesGiveTheExpectedDrives)
{
    struct Case {
        const char* what;
        std::vector<MountEntry> table;
        const char* drives;
    } cases[] = {
        { "root alone", { mount("/", "ext4", 1) }, "C:/ 3" },
        { "root listed last is still C:, others sorted from D:",
          { mount("/srv", "ext4", 2, "/dev/sdb1"), mount("/home", "ext4", 3, "/dev/sdc1"), mount("/", "ext4", 1) },
          "C:/ 3|D:/home/ 3|E:/srv/ 3" },
        { "pseudo file systems get no letter",
          { mount("/", "ext4", 1), mount("/proc", "proc", 10, "proc"), mount("/sys", "sysfs", 11, "sysfs"),
            mount("/sys/fs/cgroup", "cgroup2", 12, "cgroup2"), mount("/dev/pts", "devpts", 13, "devpts"),
            mount("/dev", "devtmpfs", 14, "udev"), mount("/dev/mqueue", "mqueue", 15, "mqueue"),
            mount("/sys/kernel/debug", "debugfs", 16, "debugfs"), mount("/home", "ext4", 2, "/dev/sda2") },
          "C:/ 3|D:/home/ 3" },
        { "tmpfs and ramfs are RAM disks",
          { mount("/", "ext4", 1), mount("/tmp", "tmpfs", 20, "tmpfs"), mount("/mnt/ram", "ramfs", 21, "ramfs") },
          "C:/ 3|D:/mnt/ram/ 6|E:/tmp/ 6" },
        { "network file systems are remote",
          { mount("/", "ext4", 1), mount("/net/nfs", "nfs4", 30, "server:/export"),
            mount("/net/smb", "cifs", 31, "//server/share"), mount("/net/ssh", "fuse.sshfs", 32, "me@host:"),
            mount("/net/nine", "9p", 33, "host0") },
          "C:/ 3|D:/net/nfs/ 4|E:/net/nine/ 4|F:/net/smb/ 4|G:/net/ssh/ 4" },
        { "iso9660, udf and optical devices are CD-ROMs",
          { mount("/", "ext4", 1), mount("/media/cd", "iso9660", 40, "/dev/sr0"),
            mount("/media/dvd", "udf", 41, "/dev/sr1"), optical(mount("/media/disc", "ext2", 42, "/dev/sr2")) },
          "C:/ 3|D:/media/cd/ 5|E:/media/disc/ 5|F:/media/dvd/ 5" },
        { "a removable device is removable, an optical one stays a CD-ROM",
          { mount("/", "ext4", 1), removable(mount("/media/usb", "vfat", 50, "/dev/sdb1")),
            removable(optical(mount("/media/cd", "iso9660", 51, "/dev/sr0"))) },
          "C:/ 3|D:/media/cd/ 5|E:/media/usb/ 2" },
        { "a bind mount of a lettered file system gets no letter",
          { mount("/", "ext4", 1), mount("/data", "ext4", 2, "/dev/sdb1"), mount("/srv/data", "ext4", 2, "/dev/sdb1"),
            mount("/var/www", "ext4", 1, "/dev/sda1") },
          "C:/ 3|D:/data/ 3" },
        { "the bind mount that sorts first keeps the letter",
          { mount("/", "ext4", 1), mount("/z/data", "ext4", 2, "/dev/sdb1"), mount("/a/data", "ext4", 2, "/dev/sdb1") },
          "C:/ 3|D:/a/data/ 3" },
        { "a mount point mounted over again shows its last mount",
          { mount("/", "ext4", 1), mount("/mnt", "ext4", 2, "/dev/sdb1"), mount("/mnt", "tmpfs", 3, "tmpfs") },
          "C:/ 3|D:/mnt/ 6" },
        { "a mount under an over-mounted point is hidden",
          { mount("/", "ext4", 1), mount("/mnt", "ext4", 2, "/dev/sdb1"), mount("/mnt/inner", "ext4", 4, "/dev/sdc1"),
            mount("/mnt", "tmpfs", 3, "tmpfs") },
          "C:/ 3|D:/mnt/ 6" },
        { "a mount under a parent mounted over later is hidden",
          { mount("/", "ext4", 1), mount("/mnt/inner", "ext4", 4, "/dev/sdc1"), mount("/mnt", "tmpfs", 3, "tmpfs") },
          "C:/ 3|D:/mnt/ 6" },
        { "a mount made after its parent's over-mount is visible",
          { mount("/", "ext4", 1), mount("/mnt", "tmpfs", 3, "tmpfs"), mount("/mnt/inner", "ext4", 4, "/dev/sdc1") },
          "C:/ 3|D:/mnt/ 6|E:/mnt/inner/ 3" },
        { "a similar name is no parent",
          { mount("/", "ext4", 1), mount("/mnt/a", "ext4", 4, "/dev/sdc1"), mount("/mnt/ab", "ext4", 5, "/dev/sdd1") },
          "C:/ 3|D:/mnt/a/ 3|E:/mnt/ab/ 3" },
        { "mount points with a final slash are the same point",
          { mount("/", "ext4", 1), mount("/mnt/", "ext4", 2, "/dev/sdb1"), mount("/mnt", "tmpfs", 3, "tmpfs") },
          "C:/ 3|D:/mnt/ 6" },
        { "no root: letters still start at D:", { mount("/data", "ext4", 2, "/dev/sdb1") }, "D:/data/ 3" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(shown(letterDrives(c.table)), c.drives) << c.what;
}

TEST(DriveLettering, MoreMountsThanLettersStopAtZ)
{
    std::vector<MountEntry> table;
    for (int i = 0; i < 30; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "/m/%02d", i);
        table.push_back(mount(name, "ext4", 100 + static_cast<std::uint64_t>(i)));
    }
    table.push_back(mount("/", "ext4", 1)); // listed last
    auto drives = letterDrives(table);
    ASSERT_EQ(drives.size(), 24u); // C: to Z:
    EXPECT_EQ(drives.front().letter, 'C');
    EXPECT_EQ(drives.front().root, "/");
    EXPECT_EQ(drives[1].root, "/m/00/");
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().root, "/m/22/");
    for (std::size_t i = 1; i < drives.size(); ++i)
        EXPECT_EQ(drives[i].letter, static_cast<char>('C' + i));
    EXPECT_EQ(logicalDriveMask(drives), 0x03FFFFFCu); // bits C (2) to Z (25)
}

TEST(DriveLettering, DeviceNumbersTravelWithTheDrives)
{
    auto drives = letterDrives({ mount("/", "ext4", 0x801), mount("/home", "xfs", 0x802, "/dev/sda2") });
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].device, 0x801u);
    EXPECT_EQ(drives[1].device, 0x802u);
}

TEST(DriveLettering, LogicalDriveMaskHasOneBitPerLetter)
{
    struct Case {
        std::vector<char> letters;
        std::uint32_t mask;
    } cases[] = {
        { {}, 0u },
        { { 'C' }, 0x4u },
        { { 'C', 'D', 'F' }, 0x2Cu },
        { { 'Z' }, 0x02000000u },
    };
    for (const auto& c : cases) {
        std::vector<Drive> drives;
        for (char l : c.letters)
            drives.push_back(Drive { l, "/", DriveType::Fixed, 0 });
        EXPECT_EQ(logicalDriveMask(drives), c.mask);
    }
}

TEST(DriveLettering, DriveTypeRulesInOrder)
{
    struct Case {
        const char* fs;
        bool removable;
        bool optical;
        DriveType type;
    } cases[] = {
        { "ext4", false, false, DriveType::Fixed },
        { "ext4", true, false, DriveType::Removable },
        { "vfat", false, true, DriveType::CdRom },
        { "iso9660", true, false, DriveType::CdRom },
        { "udf", false, false, DriveType::CdRom },
        { "tmpfs", false, false, DriveType::RamDisk },
        { "ramfs", false, false, DriveType::RamDisk },
        { "nfs", false, false, DriveType::Remote },
        { "smb3", false, false, DriveType::Remote },
        { "fuse.sshfs", false, false, DriveType::Remote },
        { "btrfs", false, false, DriveType::Fixed },
    };
    for (const auto& c : cases) {
        MountEntry m = mount("/x", c.fs, 7);
        m.removableDevice = c.removable;
        m.opticalDevice = c.optical;
        EXPECT_EQ(driveTypeOf(m), c.type) << c.fs;
    }
    for (const char* fs : { "proc", "sysfs", "cgroup2", "devpts", "debugfs", "tracefs", "mqueue" })
        EXPECT_TRUE(isPseudoFileSystem(fs)) << fs;
    for (const char* fs : { "ext4", "tmpfs", "nfs4", "vfat", "overlay" })
        EXPECT_FALSE(isPseudoFileSystem(fs)) << fs;
}

} // namespace vz
