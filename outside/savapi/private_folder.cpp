#include "outside/savapi/private_folder.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vz::savapi {

namespace {

constexpr std::string_view Prefix = "vz-engine-";
constexpr std::size_t RandomPart = 6; // mkdtemp's XXXXXX
constexpr const char* LockName = "lock";
constexpr const char* NewLockName = "lock.new";
// libclamav nests its temporary folders a few levels; deeper is not its doing.
constexpr int MaxDepth = 32;

bool isEngineFolderName(std::string_view name)
{
    if (name.size() != Prefix.size() + RandomPart || name.substr(0, Prefix.size()) != Prefix)
        return false;
    for (const char c : name.substr(Prefix.size())) {
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric)
            return false;
    }
    return true;
}

// The names in an open folder, read through a descriptor of its own.
std::vector<std::string> entriesOf(int folderFd)
{
    std::vector<std::string> names;
    const int own = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0)
        return names;
    DIR* dir = ::fdopendir(own);
    if (!dir) {
        ::close(own);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

// Removes everything inside an open folder, descending by descriptor and never
// through a link (a link is removed itself).
void removeContents(int folderFd, int depth)
{
    for (const auto& name : entriesOf(folderFd)) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(st.st_mode)) {
            ::unlinkat(folderFd, name.c_str(), 0);
            continue;
        }
        if (depth < MaxDepth) {
            const platform::UniqueFd inner(::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (inner.valid())
                removeContents(inner.get(), depth + 1);
        }
        ::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR);
    }
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes parent/name when it is a folder of this user's engine that no engine holds.
void removeIfStale(int parentFd, const std::string& name)
{
    struct stat entry {};
    if (::fstatat(parentFd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(entry.st_mode) || entry.st_uid != ::geteuid())
        return;
    const platform::UniqueFd folder(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened {};
    if (!folder.valid() || ::fstat(folder.get(), &opened) != 0 || !sameFile(entry, opened))
        return;
    // No lock file: not made by this engine, or one still making it; left alone.
    const platform::UniqueFd lock(::openat(folder.get(), LockName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat lockStat {};
    if (!lock.valid() || ::fstat(lock.get(), &lockStat) != 0 || !S_ISREG(lockStat.st_mode) || lockStat.st_uid != ::geteuid())
        return;
    // A live engine holds its lock: taking it proves the folder stale. It is kept
    // while removing, so that no other engine starts on the same folder.
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0)
        return;
    removeContents(folder.get(), 0);
    struct stat now {};
    if (::fstatat(parentFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, opened))
        ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

bool writeProbe(int fd)
{
    for (;;) {
        const ssize_t n = ::write(fd, "x", 1);
        if (n < 0 && errno == EINTR)
            continue;
        return n == 1;
    }
}

} // namespace

void removeStaleFolders(int parentFd)
{
    for (const auto& name : entriesOf(parentFd)) {
        if (isEngineFolderName(name))
            removeIfStale(parentFd, name);
    }
}

std::unique_ptr<PrivateFolder> PrivateFolder::make(const std::string& parent)
{
    std::unique_ptr<PrivateFolder> folder(new PrivateFolder);
    folder->m_parent.reset(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder->m_parent.valid())
        return nullptr;
    removeStaleFolders(folder->m_parent.get());

    std::string pattern = parent + "/" + std::string(Prefix) + std::string(RandomPart, 'X');
    if (!::mkdtemp(pattern.data()))
        return nullptr;
    folder->m_path = pattern;
    folder->m_name = pattern.substr(pattern.size() - Prefix.size() - RandomPart);
    folder->m_folder.reset(::openat(folder->m_parent.get(), folder->m_name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder->m_folder.valid()) {
        ::unlinkat(folder->m_parent.get(), folder->m_name.c_str(), AT_REMOVEDIR);
        return nullptr;
    }
    // The lock file gets its name only once it is locked, so that no other engine
    // ever finds it unlocked; writing it proves the folder writable.
    const int folderFd = folder->m_folder.get();
    folder->m_lock.reset(::openat(folderFd, NewLockName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    const bool ready = folder->m_lock.valid() && ::flock(folder->m_lock.get(), LOCK_EX | LOCK_NB) == 0 && writeProbe(folder->m_lock.get())
        && ::renameat(folderFd, NewLockName, folderFd, LockName) == 0;
    if (!ready)
        return nullptr; // the destructor removes what was made
    return folder;
}

PrivateFolder::~PrivateFolder()
{
    if (!m_folder.valid())
        return;
    removeContents(m_folder.get(), 0);
    // Only the folder this engine made, should another have taken its name since.
    struct stat own {};
    struct stat now {};
    if (::fstat(m_folder.get(), &own) == 0 && ::fstatat(m_parent.get(), m_name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(own, now))
        ::unlinkat(m_parent.get(), m_name.c_str(), AT_REMOVEDIR);
}

} // namespace vz::savapi
