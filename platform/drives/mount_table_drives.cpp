// Linux adapter of the drive table: /proc/self/mountinfo and the block devices of sysfs.
#include "platform/drives/mount_table_drives.h"

#include "common/paths.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace vz::platform {

namespace {

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// The first line of a small sysfs file, without trailing blanks; empty when unreadable.
std::string readFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string realPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return {};
    std::string out(resolved);
    std::free(resolved);
    return out;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::vector<std::string> listFolder(const std::string& folder)
{
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir.get())) {
        std::string name(e->d_name);
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    return names;
}

// What the block device behind a mount says of itself.
struct BlockFacts {
    bool removable = false;
    bool optical = false;
};

class BlockClass {
public:
    explicit BlockClass(const std::string& folder) : m_folder(folder) {}

    BlockFacts factsOf(const MountInfoLine& line) const
    {
        BlockFacts facts;
        if (!startsWith(line.source, "/dev/"))
            return facts; // no block device: network, memory and pseudo file systems
        facts.optical = startsWith(line.source, "/dev/sr");
        std::string name = deviceName(line);
        if (name.empty())
            return facts;
        std::string entry = paths::join(m_folder, name);
        // A partition has no removable flag of its own: its disk, the folder holding
        // the partition's real sysfs folder, has it.
        std::string disk = entry;
        if (exists(paths::join(entry, "partition"))) {
            std::string real = realPath(entry);
            if (!real.empty())
                disk = std::string(paths::folderOf(real));
        }
        facts.removable = readFirstLine(paths::join(disk, "removable")) == "1";
        // SCSI peripheral type 5 is a CD/DVD drive.
        facts.optical = facts.optical || startsWith(paths::fileName(disk), "sr")
            || readFirstLine(paths::join(disk, "device/type")) == "5";
        return facts;
    }

private:
    // The device's name in the class folder: the source's own name when listed there,
    // otherwise (/dev/mapper/..., /dev/root) the entry whose number is the mount's.
    std::string deviceName(const MountInfoLine& line) const
    {
        std::string name(paths::fileName(line.source));
        if (!name.empty() && exists(paths::join(m_folder, name)))
            return name;
        std::string wanted = std::to_string(line.major) + ":" + std::to_string(line.minor);
        for (const auto& candidate : listFolder(m_folder)) {
            if (readFirstLine(paths::join(paths::join(m_folder, candidate), "dev")) == wanted)
                return candidate;
        }
        return {};
    }

    std::string m_folder;
};

// Splits at single spaces; mountinfo never has empty fields.
std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string_view::npos)
            end = line.size();
        if (end > start)
            fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

bool parseUnsigned(std::string_view text, unsigned& out)
{
    if (text.empty() || text.size() > 9)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    out = value;
    return true;
}

} // namespace

std::string unescapeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctalDigit(field[i + 1]) && isOctalDigit(field[i + 2])
            && isOctalDigit(field[i + 3])) {
            int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
bool parseMountInfoLine(std::string_view line, MountInfoLine& out)
{
    auto fields = splitFields(line);
    if (fields.size() < 7)
        return false;
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-")
        ++separator;
    if (separator + 1 >= fields.size())
        return false;
    std::string_view number = fields[2];
    std::size_t colon = number.find(':');
    if (colon == std::string_view::npos || !parseUnsigned(number.substr(0, colon), out.major)
        || !parseUnsigned(number.substr(colon + 1), out.minor))
        return false;
    out.root = unescapeMountField(fields[3]);
    out.mountPoint = unescapeMountField(fields[4]);
    out.fileSystem = unescapeMountField(fields[separator + 1]);
    out.source = separator + 2 < fields.size() ? unescapeMountField(fields[separator + 2]) : std::string();
    return !out.mountPoint.empty() && out.mountPoint[0] == '/';
}

MountTableDrives::MountTableDrives(std::string mountInfoPath, std::string blockClassFolder)
    : m_mountInfoPath(std::move(mountInfoPath))
    , m_blockClassFolder(std::move(blockClassFolder))
{
}

Result<std::vector<MountEntry>> MountTableDrives::mountEntries() const
{
    std::ifstream in(m_mountInfoPath);
    if (!in)
        return Error::fromErrno("open", errno ? errno : ENOENT, m_mountInfoPath);
    BlockClass blocks(m_blockClassFolder);
    std::vector<MountEntry> entries;
    std::string text;
    while (std::getline(in, text)) {
        MountInfoLine line;
        if (!parseMountInfoLine(text, line))
            continue;
        MountEntry entry;
        entry.mountPoint = line.mountPoint;
        entry.fileSystem = line.fileSystem;
        entry.source = line.source;
        entry.device = makedev(line.major, line.minor);
        // A drive root is a folder: a bind mount of a single file (a container's
        // /etc/hosts) is no drive. Only bind mounts (root other than "/") can be
        // files, and only those are looked at, so that no remote mount that stopped
        // answering is ever touched here.
        struct stat st;
        if (line.root != "/" && driveTypeOf(entry) != DriveType::Remote && ::stat(line.mountPoint.c_str(), &st) == 0
            && !S_ISDIR(st.st_mode))
            continue;
        if (!isPseudoFileSystem(entry.fileSystem)) {
            BlockFacts facts = blocks.factsOf(line);
            entry.removableDevice = facts.removable;
            entry.opticalDevice = facts.optical;
        }
        entries.push_back(std::move(entry));
    }
    if (in.bad())
        return Error::fromErrno("read", EIO, m_mountInfoPath);
    return entries;
}

std::vector<Drive> MountTableDrives::drives() const
{
    auto entries = mountEntries();
    if (entries.ok())
        return letterDrives(std::move(entries).value());
    struct stat st;
    std::uint64_t device = ::stat("/", &st) == 0 ? static_cast<std::uint64_t>(st.st_dev) : 0;
    return { Drive { 'C', "/", DriveType::Fixed, device } };
}

} // namespace vz::platform
