// Linux adapter of the atom table: a folder of count files in the runtime folder.
#include "platform/atoms/file_atom_table.h"

#include "common/environment.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::platform {

namespace {

constexpr mode_t SharedFolderMode = 01777;
constexpr mode_t AtomFileMode = 0666;
constexpr std::size_t MaxAtomNameBytes = 255;
constexpr int OpenAttempts = 8;

// Makes the folder (sticky, open to all) when it is missing. Its parent is made the
// same way when it is missing too (the runtime folder of a fresh machine).
Result<void> makeSharedFolder(const std::string& folder, int depth = 0)
{
    if (::mkdir(folder.c_str(), SharedFolderMode) != 0) {
        if (errno == EEXIST)
            return Success {};
        if (errno == ENOENT && depth == 0) {
            std::string parent(paths::folderOf(folder));
            if (!parent.empty()) {
                VZ_TRY(makeSharedFolder(parent, depth + 1));
                return makeSharedFolder(folder, depth + 1);
            }
        }
        return Error::fromErrno("mkdir", errno, folder);
    }
    // mkdir applies the umask; the folder must be open to every user all the same.
    if (::chmod(folder.c_str(), SharedFolderMode) != 0)
        return Error::fromErrno("chmod", errno, folder);
    return Success {};
}

// The folder, opened without following a link, and only when it belongs to us or to
// the administrator: a folder another user made cannot steer our writes.
Result<UniqueFd> openFolder(const std::string& folder, bool create)
{
    if (create)
        VZ_TRY(makeSharedFolder(folder));
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        return Error::fromErrno("open", errno, folder);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return Error::fromErrno("fstat", errno, folder);
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return Error::fromErrno("atom table", EPERM, folder + " belongs to another user");
    return fd;
}

// Opens an atom file for reading and writing; creates it (open to all) when asked.
// Refuses anything but a plain file with exactly one name.
Result<UniqueFd> openAtom(int folder, const std::string& name, bool create, const std::string& shown)
{
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        // Opened without O_CREAT first, so that an existing file of another user in
        // the sticky folder is opened as it is.
        UniqueFd fd(::openat(folder, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!fd.valid() && errno == ENOENT && create) {
            fd = UniqueFd(::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, AtomFileMode));
            if (!fd.valid() && errno == EEXIST)
                continue; // made by another program in between
            if (fd.valid() && ::fchmod(fd.get(), AtomFileMode) != 0)
                return Error::fromErrno("fchmod", errno, shown);
        }
        if (!fd.valid())
            return Error::fromErrno("open", errno, shown);
        while (::flock(fd.get(), LOCK_EX) != 0) {
            if (errno != EINTR)
                return Error::fromErrno("flock", errno, shown);
        }
        struct stat st;
        if (::fstat(fd.get(), &st) != 0)
            return Error::fromErrno("fstat", errno, shown);
        if (!S_ISREG(st.st_mode) || st.st_nlink > 1)
            return Error::fromErrno("atom table", EPERM, shown + " is not a plain atom file");
        if (st.st_nlink == 0)
            continue; // deleted by its last reference while we waited for the lock
        return fd;
    }
    return Error::fromErrno("open", EAGAIN, shown);
}

Result<unsigned long> readCount(int fd, const std::string& shown)
{
    char buf[32] = {};
    ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    if (n < 0)
        return Error::fromErrno("read", errno, shown);
    return std::strtoul(buf, nullptr, 10);
}

Result<void> writeCount(int fd, unsigned long count, const std::string& shown)
{
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%lu\n", count);
    if (::ftruncate(fd, 0) != 0)
        return Error::fromErrno("ftruncate", errno, shown);
    if (::pwrite(fd, buf, static_cast<std::size_t>(n), 0) != n)
        return Error::fromErrno("write", errno, shown);
    return Success {};
}

Result<std::string> checkedFileName(std::string_view name)
{
    if (name.empty() || name.size() > MaxAtomNameBytes)
        return Error::fromErrno("atom table", EINVAL, std::string(name));
    return FileAtomTable::fileNameOf(name);
}

} // namespace

std::string FileAtomTable::fileNameOf(std::string_view name)
{
    std::string out;
    for (char c : name) {
        char lower = text::toLowerAscii(c);
        if ((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '-' || lower == '_')
            out += lower;
        else
            out += text::format("%%%02X", static_cast<unsigned char>(c));
    }
    return out;
}

Result<void> FileAtomTable::addAtom(std::string_view name)
{
    auto file = checkedFileName(name);
    if (!file)
        return file.error();
    std::string shown = paths::join(m_folder, *file);
    auto folder = openFolder(m_folder, true);
    if (!folder)
        return folder.error();
    auto fd = openAtom(folder->get(), *file, true, shown);
    if (!fd)
        return fd.error();
    auto count = readCount(fd->get(), shown);
    if (!count)
        return count.error();
    return writeCount(fd->get(), *count + 1, shown);
}

Result<bool> FileAtomTable::findAtom(std::string_view name)
{
    auto file = checkedFileName(name);
    if (!file)
        return file.error();
    std::string shown = paths::join(m_folder, *file);
    auto folder = openFolder(m_folder, false);
    if (!folder)
        return folder.error().code == ENOENT ? Result<bool>(false) : Result<bool>(folder.error());
    UniqueFd fd(::openat(folder->get(), file->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return errno == ENOENT ? Result<bool>(false) : Result<bool>(Error::fromErrno("open", errno, shown));
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    while (::flock(fd.get(), LOCK_SH) != 0) {
        if (errno != EINTR)
            return Error::fromErrno("flock", errno, shown);
    }
    auto count = readCount(fd.get(), shown);
    if (!count)
        return count.error();
    return *count > 0;
}

Result<void> FileAtomTable::deleteAtom(std::string_view name)
{
    auto file = checkedFileName(name);
    if (!file)
        return file.error();
    std::string shown = paths::join(m_folder, *file);
    auto folder = openFolder(m_folder, false);
    if (!folder)
        return folder.error();
    auto fd = openAtom(folder->get(), *file, false, shown);
    if (!fd)
        return fd.error();
    auto count = readCount(fd->get(), shown);
    if (!count)
        return count.error();
    if (*count == 0)
        return Error::fromErrno("atom table", ENOENT, shown);
    if (*count > 1)
        return writeCount(fd->get(), *count - 1, shown);
    // The last reference: the name goes. Where the sticky folder does not let us
    // unlink another user's file, a count of 0 says the same.
    if (::unlinkat(folder->get(), file->c_str(), 0) != 0)
        return writeCount(fd->get(), 0, shown);
    return Success {};
}

std::unique_ptr<AtomTable> openRuntimeAtomTable()
{
    return std::make_unique<FileAtomTable>(paths::join(environment::runtimeFolder(), "atoms"));
}

} // namespace vz::platform
