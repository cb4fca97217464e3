#include "platform/linux/descriptor_io.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vz::platform {

using files::FileKind;

FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    if (S_ISLNK(mode))
        return FileKind::Symlink;
    return FileKind::Other;
}

files::FileStatus statusOf(const struct stat& st)
{
    files::FileStatus s;
    s.kind = kindOf(st.st_mode);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.modifiedSeconds = st.st_mtim.tv_sec;
    s.mode = st.st_mode & 07777;
    return s;
}

Result<void> writeAll(int fd, std::string_view data, const std::string& what)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno("write", errno, what);
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return Success {};
}

Result<std::vector<files::DirectoryEntry>> readEntries(DIR* dir, const std::string& what)
{
    std::vector<files::DirectoryEntry> list;
    for (;;) {
        errno = 0;
        dirent* e = ::readdir(dir);
        if (!e) {
            int err = errno;
            ::closedir(dir);
            if (err != 0)
                return Error::fromErrno("readdir", err, what);
            return list;
        }
        std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        files::DirectoryEntry entry { std::string(name), FileKind::Other };
        switch (e->d_type) {
        case DT_REG: entry.kind = FileKind::Regular; break;
        case DT_DIR: entry.kind = FileKind::Directory; break;
        case DT_LNK: entry.kind = FileKind::Symlink; break;
        case DT_UNKNOWN: {
            struct stat st;
            if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                entry.kind = kindOf(st.st_mode);
            else if (errno == ENOENT)
                continue; // gone since the folder was read: nothing to walk
            break;
        }
        default: break;
        }
        list.push_back(std::move(entry));
    }
}

} // namespace vz::platform
