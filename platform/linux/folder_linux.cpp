// Linux adapter for the folders and files a scan holds open (common/folder.h).
#include "common/folder.h"

#include "platform/linux/descriptor_io.h"
#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vz::files {

using platform::UniqueFd;
using platform::writeAll;

namespace {

std::string str(std::string_view s) { return std::string(s); }

FileIdentity identityOf(const struct stat& st)
{
    return { static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino) };
}

// What a "/proc/self/fd/<n>" name leads to: the open file's real path.
Result<std::string> linkTarget(const std::string& link)
{
    std::string buf(PATH_MAX, '\0');
    for (;;) {
        ssize_t n = ::readlink(link.c_str(), buf.data(), buf.size());
        if (n < 0)
            return Error::fromErrno("readlink", errno, link);
        if (static_cast<std::size_t>(n) < buf.size()) {
            buf.resize(static_cast<std::size_t>(n));
            return buf;
        }
        buf.resize(buf.size() * 2); // deeper than PATH_MAX: the kernel still answers
    }
}

// Copies the whole content of `in` (from its start) into `out`.
Result<void> copyAll(int in, int out, const std::string& what)
{
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::sendfile(out, in, &offset, 1 << 20);
        if (n == 0)
            return Success {};
        if (n > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            return Error::fromErrno("sendfile", errno, what);
        char buf[65536];
        for (;;) {
            ssize_t r = ::pread(in, buf, sizeof buf, offset);
            if (r == 0)
                return Success {};
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return Error::fromErrno("read", errno, what);
            }
            offset += r;
            VZ_TRY(writeAll(out, std::string_view(buf, static_cast<std::size_t>(r)), what));
        }
    }
}

} // namespace

bool isEntryChanged(const Error& error)
{
    return error.code == EntryChanged;
}

HeldFile::HeldFile(int descriptor, FileIdentity identity, std::uint64_t size)
    : m_descriptor(descriptor)
    , m_identity(identity)
    , m_size(size)
{
}

HeldFile::~HeldFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

HeldFile::HeldFile(HeldFile&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
    , m_identity(other.m_identity)
    , m_size(other.m_size)
{
}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_identity = other.m_identity;
        m_size = other.m_size;
    }
    return *this;
}

std::string HeldFile::shortPath() const
{
    return "/proc/self/fd/" + std::to_string(m_descriptor);
}

Result<void> HeldFile::makePrivate() const
{
    if (::fchmod(m_descriptor, 0600) != 0)
        return Error::fromErrno("fchmod", errno, shortPath());
    return Success {};
}

Folder::Folder(int descriptor, FileIdentity identity)
    : m_descriptor(descriptor)
    , m_identity(identity)
{
}

Folder::~Folder()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

Folder::Folder(Folder&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
    , m_identity(other.m_identity)
{
}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_identity = other.m_identity;
    }
    return *this;
}

Result<Folder> Folder::open(std::string_view path)
{
    std::string p = str(path);
    UniqueFd fd(::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return Error::fromErrno("open", errno, p);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return Error::fromErrno("fstat", errno, p);
    return Folder(fd.release(), identityOf(st));
}

Result<std::string> Folder::realPath() const
{
    return linkTarget("/proc/self/fd/" + std::to_string(m_descriptor));
}

Result<std::vector<DirectoryEntry>> Folder::entries() const
{
    // The stream gets a descriptor of its own, so closing it leaves this one open.
    int dup = ::openat(m_descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dup < 0)
        return Error::fromErrno("openat", errno, ".");
    DIR* dir = ::fdopendir(dup);
    if (!dir) {
        int e = errno;
        ::close(dup);
        return Error::fromErrno("fdopendir", e, ".");
    }
    return platform::readEntries(dir, ".");
}

Result<Folder> Folder::openSubfolder(std::string_view name) const
{
    std::string n = str(name);
    UniqueFd fd(::openat(m_descriptor, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        return Error::fromErrno("openat", errno, n);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return Error::fromErrno("fstat", errno, n);
    return Folder(fd.release(), identityOf(st));
}

Result<HeldFile> Folder::openFile(std::string_view name) const
{
    std::string n = str(name);
    // O_NONBLOCK: an entry that became a FIFO must not hang the scan; O_NOFOLLOW: an
    // entry that became a link is refused (ELOOP), never followed.
    UniqueFd fd(::openat(m_descriptor, n.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid())
        return Error::fromErrno("openat", errno, n);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return Error::fromErrno("fstat", errno, n);
    if (!S_ISREG(st.st_mode))
        return Error::fromErrno("openat", EntryChanged, n);
    return HeldFile(fd.release(), identityOf(st), static_cast<std::uint64_t>(st.st_size));
}

Result<FileStatus> Folder::entryStatus(std::string_view name) const
{
    std::string n = str(name);
    struct stat st;
    if (::fstatat(m_descriptor, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Error::fromErrno("fstatat", errno, n);
    return platform::statusOf(st);
}

Result<FileIdentity> Folder::entryIdentity(std::string_view name) const
{
    std::string n = str(name);
    struct stat st;
    if (::fstatat(m_descriptor, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Error::fromErrno("fstatat", errno, n);
    return identityOf(st);
}

Result<void> Folder::removeFile(std::string_view name, const HeldFile& expected) const
{
    std::string n = str(name);
    auto now = entryIdentity(n);
    if (!now)
        return now.error().code == ENOENT ? Error::fromErrno("unlinkat", EntryChanged, n) : now.error();
    if (!(*now == expected.identity()))
        return Error::fromErrno("unlinkat", EntryChanged, n);
    // Between the look and the unlink only a writer of this very folder can swap the
    // entry, and what it swaps in is then only unlinked here (never followed).
    if (::unlinkat(m_descriptor, n.c_str(), 0) != 0)
        return Error::fromErrno("unlinkat", errno, n);
    return Success {};
}

Result<void> Folder::moveFile(std::string_view name, const HeldFile& expected, const Folder& to, std::string_view toName) const
{
    std::string n = str(name), t = str(toName);
    auto now = entryIdentity(n);
    if (!now)
        return now.error().code == ENOENT ? Error::fromErrno("renameat2", EntryChanged, n) : now.error();
    if (!(*now == expected.identity()))
        return Error::fromErrno("renameat2", EntryChanged, n);
    if (::renameat2(m_descriptor, n.c_str(), to.m_descriptor, t.c_str(), RENAME_NOREPLACE) == 0) {
        // What arrived must be what was tested; an entry swapped in between the look
        // and the rename goes back where it came from.
        auto moved = to.entryIdentity(t);
        if (moved && *moved == expected.identity())
            return Success {};
        if (::renameat2(to.m_descriptor, t.c_str(), m_descriptor, n.c_str(), RENAME_NOREPLACE) != 0)
            return Error::fromErrno("renameat2", errno, t);
        return Error::fromErrno("renameat2", EntryChanged, n);
    }
    int err = errno;
    if (err != EXDEV)
        return Error::fromErrno("renameat2", err, n + " -> " + t);

    // Another file system: copy the tested file itself, then remove its entry only
    // while it still is that file. The copy is a new file: callers that go on with it
    // open it in its new folder.
    std::string source = expected.shortPath();
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return Error::fromErrno("open", errno, n);
    UniqueFd out(::openat(to.m_descriptor, t.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid())
        return Error::fromErrno("openat", errno, t);
    auto fail = [&](Error e) -> Result<void> {
        ::unlinkat(to.m_descriptor, t.c_str(), 0);
        return e;
    };
    if (auto r = copyAll(in.get(), out.get(), t); !r)
        return fail(r.error());
    // The copy keeps the file's access, as a move would; it was owner-only while filled.
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return fail(Error::fromErrno("fstat", errno, n));
    if (::fchmod(out.get(), st.st_mode & 07777) != 0)
        return fail(Error::fromErrno("fchmod", errno, t));
    if (::fsync(out.get()) != 0)
        return fail(Error::fromErrno("fsync", errno, t));
    if (::close(out.release()) != 0)
        return fail(Error::fromErrno("close", errno, t));
    if (auto r = removeFile(n, expected); !r)
        return fail(r.error());
    return Success {};
}

Result<void> Folder::renameEntry(std::string_view from, std::string_view to) const
{
    std::string f = str(from), t = str(to);
    if (::renameat2(m_descriptor, f.c_str(), m_descriptor, t.c_str(), RENAME_NOREPLACE) != 0)
        return Error::fromErrno("renameat2", errno, f + " -> " + t);
    return Success {};
}

Result<void> Folder::removeEntry(std::string_view name) const
{
    std::string n = str(name);
    if (::unlinkat(m_descriptor, n.c_str(), 0) != 0)
        return Error::fromErrno("unlinkat", errno, n);
    return Success {};
}

Result<void> Folder::createFile(std::string_view name, std::string_view content) const
{
    std::string n = str(name);
    UniqueFd fd(::openat(m_descriptor, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid())
        return Error::fromErrno("openat", errno, n);
    auto fail = [&](Error e) -> Result<void> {
        ::unlinkat(m_descriptor, n.c_str(), 0);
        return e;
    };
    if (auto r = writeAll(fd.get(), content, n); !r)
        return fail(r.error());
    if (::fsync(fd.get()) != 0)
        return fail(Error::fromErrno("fsync", errno, n));
    if (::close(fd.release()) != 0)
        return fail(Error::fromErrno("close", errno, n));
    return Success {};
}

Result<std::string> Folder::readFile(std::string_view name, std::uint64_t limit) const
{
    auto held = openFile(name);
    if (!held)
        return held.error();
    if (held->size() > limit)
        return Error::fromErrno("read", EFBIG, str(name));
    UniqueFd fd(::open(held->shortPath().c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return Error::fromErrno("open", errno, str(name));
    std::string data(static_cast<std::size_t>(held->size()), '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        ssize_t r = ::read(fd.get(), data.data() + got, data.size() - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return Error::fromErrno("read", errno, str(name));
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    data.resize(got);
    return data;
}

Result<HeldFile> openUnnamedFile(std::string_view path)
{
    std::string p = str(path);
    UniqueFd fd(::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid())
        return Error::fromErrno("open", errno, p);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return Error::fromErrno("fstat", errno, p);
    if (!S_ISREG(st.st_mode))
        return Error::fromErrno("open", EntryChanged, p);
    return HeldFile(fd.release(), identityOf(st), static_cast<std::uint64_t>(st.st_size));
}

Result<NamedFile> openNamedFile(std::string_view path)
{
    std::string p = str(path);
    auto file = openUnnamedFile(p);
    if (!file)
        return file.error();
    auto real = linkTarget(file->shortPath());
    if (!real)
        return real.error();
    auto slash = real->rfind('/');
    if (slash == std::string::npos || slash + 1 >= real->size())
        return Error::fromErrno("open", ENOENT, *real);
    std::string folderPath = slash == 0 ? std::string("/") : real->substr(0, slash);
    auto folder = Folder::open(folderPath);
    if (!folder)
        return folder.error();
    NamedFile named { std::move(*folder), real->substr(slash + 1), *real, std::move(*file) };
    // The folder's entry must be the file that was opened, else a swap came between.
    auto entry = named.folder.entryIdentity(named.name);
    if (!entry || !(*entry == named.file.identity()))
        return Error::fromErrno("open", EntryChanged, p);
    return named;
}

} // namespace vz::files
