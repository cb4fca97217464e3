#include "platform/drives/mount_table_drives.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace vz::platform {

namespace {

// A sysfs block class folder as the kernel lays it out: class entries are links into
// a device tree where a partition's folder lies inside its disk's folder.
class SysfsFixture {
public:
    explicit SysfsFixture(const test::TempDir& dir) : m_dir(dir)
    {
        m_dir.mkdir("sys");
        m_dir.mkdir("sys/devices");
        m_dir.mkdir("sys/class");
        m_dir.mkdir("sys/class/block");
    }

    void disk(const std::string& name, const std::string& dev, bool removable, const char* scsiType = nullptr)
    {
        std::string folder = "sys/devices/" + name;
        m_dir.mkdir(folder);
        m_dir.write(folder + "/dev", dev + "\n");
        m_dir.write(folder + "/removable", removable ? "1\n" : "0\n");
        if (scsiType) {
            m_dir.mkdir(folder + "/device");
            m_dir.write(folder + "/device/type", std::string(scsiType) + "\n");
        }
        link(name, "../../devices/" + name);
    }

    void partition(const std::string& diskName, const std::string& name, const std::string& dev)
    {
        std::string folder = "sys/devices/" + diskName + "/" + name;
        m_dir.mkdir(folder);
        m_dir.write(folder + "/dev", dev + "\n");
        m_dir.write(folder + "/partition", "1\n");
        link(name, "../../devices/" + diskName + "/" + name);
    }

    std::string classFolder() const { return m_dir.file("sys/class/block"); }

private:
    void link(const std::string& name, const std::string& target)
    {
        std::filesystem::create_directory_symlink(target, m_dir.file("sys/class/block/" + name));
    }

    const test::TempDir& m_dir;
};

std::string line(int id, const std::string& number, const std::string& point, const std::string& fs,
    const std::string& source, const std::string& root = "/")
{
    return std::to_string(id) + " 1 " + number + " " + root + " " + point + " rw,relatime shared:1 - " + fs + " " + source
        + " rw\n";
}

} // namespace

TEST(MountInfoFields, UnescapesOctalEscapesOnly)
{
    struct Case {
        const char* field;
        const char* text;
    } cases[] = {
        { "/media/My\\040Disk", "/media/My Disk" },
        { "/a\\011b\\012c\\134d", "/a\tb\nc\\d" },
        { "/plain", "/plain" },
        { "/short\\04", "/short\\04" },
        { "/end\\", "/end\\" },
        { "/not\\089octal", "/not\\089octal" },
        { "/over\\777", "/over\\777" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(unescapeMountField(c.field), c.text) << c.field;
}

TEST(MountInfoFields, ParsesLinesWithAndWithoutOptionalFields)
{
    MountInfoLine l;
    ASSERT_TRUE(parseMountInfoLine("36 35 98:0 /mnt1 /mnt/parent\\040x rw,noatime master:1 shared:2 - ext3 /dev/root rw", l));
    EXPECT_EQ(l.major, 98u);
    EXPECT_EQ(l.minor, 0u);
    EXPECT_EQ(l.root, "/mnt1");
    EXPECT_EQ(l.mountPoint, "/mnt/parent x");
    EXPECT_EQ(l.fileSystem, "ext3");
    EXPECT_EQ(l.source, "/dev/root");
    ASSERT_TRUE(parseMountInfoLine("22 28 0:21 / /proc rw,relatime - proc proc rw", l));
    EXPECT_EQ(l.fileSystem, "proc");
    EXPECT_EQ(l.mountPoint, "/proc");

    for (const char* bad : { "", "garbage", "1 2 3:4 / /x rw", "1 2 x:4 / /x rw - ext4 /dev/a rw",
             "1 2 3:4 / relative rw - ext4 /dev/a rw", "1 2 3:4 / /x rw shared:1 -" })
        EXPECT_FALSE(parseMountInfoLine(bad, l)) << bad;
}

TEST(MountTableDrives, FixtureTablesGetTypesFromTheirBlockDevices)
{
    test::TempDir dir;
    SysfsFixture sys(dir);
    sys.disk("sda", "8:0", false);
    sys.partition("sda", "sda1", "8:1");
    sys.partition("sda", "sda2", "8:2");
    sys.disk("sdb", "8:16", true);
    sys.partition("sdb", "sdb1", "8:17");
    sys.disk("sr0", "11:0", true, "5");
    sys.disk("sdc", "8:32", false, "5"); // an optical drive that is not named sr*
    sys.disk("dm-0", "253:0", false);
    std::string fileMount = dir.write("hosts", "127.0.0.1 localhost\n");

    std::string table = line(20, "253:0", "/", "ext4", "/dev/mapper/vg-root")
        + line(21, "0:21", "/proc", "proc", "proc")
        + line(22, "8:1", "/boot", "ext2", "/dev/sda1")
        + line(23, "8:2", "/home/My\\040Files", "ext4", "/dev/sda2")
        + line(24, "8:17", "/media/usb\\040stick", "vfat", "/dev/sdb1")
        + line(25, "11:0", "/media/cdrom", "iso9660", "/dev/sr0")
        + line(26, "8:32", "/media/disc", "ext2", "/dev/sdc")
        + line(27, "0:40", "/run/user/1000", "tmpfs", "tmpfs")
        + line(28, "0:41", "/net/share", "nfs4", "server:/export")
        + line(29, "8:2", "/srv/bound", "ext4", "/dev/sda2", "/sub")
        + line(30, "253:0", fileMount, "ext4", "/dev/mapper/vg-root", "/etc/hosts")
        + "this line is not a mount\n";
    MountTableDrives drives(dir.write("mountinfo", table), sys.classFolder());

    auto entries = drives.mountEntries();
    ASSERT_TRUE(entries.ok()) << entries.error().text();
    ASSERT_EQ(entries->size(), 10u); // the file bind mount and the broken line are left out
    EXPECT_EQ((*entries)[0].device, makedev(253, 0));
    EXPECT_FALSE((*entries)[0].removableDevice); // found by number through /dev/mapper

    struct Expected {
        char letter;
        const char* root;
        DriveType type;
    } expected[] = {
        { 'C', "/", DriveType::Fixed },
        { 'D', "/boot/", DriveType::Fixed },
        { 'E', "/home/My Files/", DriveType::Fixed },
        { 'F', "/media/cdrom/", DriveType::CdRom },
        { 'G', "/media/disc/", DriveType::CdRom },
        { 'H', "/media/usb stick/", DriveType::Removable },
        { 'I', "/net/share/", DriveType::Remote },
        { 'J', "/run/user/1000/", DriveType::RamDisk },
    };
    auto lettered = drives.drives();
    ASSERT_EQ(lettered.size(), std::size(expected));
    for (std::size_t i = 0; i < lettered.size(); ++i) {
        EXPECT_EQ(lettered[i].letter, expected[i].letter) << i;
        EXPECT_EQ(lettered[i].root, expected[i].root) << i;
        EXPECT_EQ(lettered[i].type, expected[i].type) << expected[i].root;
    }
}

TEST(MountTableDrives, UnreadableTableStillGivesTheRootAsC)
{
    test::TempDir dir;
    MountTableDrives drives(dir.file("no-such-mountinfo"), dir.file("no-such-sys"));
    EXPECT_FALSE(drives.mountEntries().ok());
    auto lettered = drives.drives();
    ASSERT_EQ(lettered.size(), 1u);
    EXPECT_EQ(lettered[0].letter, 'C');
    EXPECT_EQ(lettered[0].root, "/");
    struct stat st;
    ASSERT_EQ(::stat("/", &st), 0);
    EXPECT_EQ(lettered[0].device, static_cast<std::uint64_t>(st.st_dev));
}

TEST(MountTableDrives, ThisMachineHasRootAsCAndEveryRootOnItsDevice)
{
    MountTableDrives drives;
    ASSERT_TRUE(drives.mountEntries().ok());
    auto lettered = drives.drives();
    ASSERT_FALSE(lettered.empty());
    EXPECT_EQ(lettered[0].letter, 'C');
    EXPECT_EQ(lettered[0].root, "/");
    char last = 'B';
    for (const auto& d : lettered) {
        EXPECT_GT(d.letter, last);
        last = d.letter;
        struct stat st;
        ASSERT_EQ(::stat(d.root.c_str(), &st), 0) << d.root;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << d.root;
        // btrfs subvolumes report a device of their own; no such drive is expected here.
        EXPECT_EQ(static_cast<std::uint64_t>(st.st_dev), d.device) << d.root;
    }
}

} // namespace vz::platform
