// Linux adapter for the file semantics of common/files.h.
#include "common/files.h"

#include "common/paths.h"
#include "platform/linux/descriptor_io.h"
#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::platform {

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

} // namespace vz::platform

namespace vz::files {

using platform::UniqueFd;
using platform::kindOf;
using platform::writeAll;

namespace {

std::string str(std::string_view s) { return std::string(s); }

// A name beside `path` that no other writer will pick.
std::string temporarySibling(std::string_view path)
{
    static thread_local std::mt19937_64 rng { std::random_device {}() };
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".vztmp.%d.%08llx", static_cast<int>(::getpid()),
        static_cast<unsigned long long>(rng() & 0xffffffffULL));
    return str(path) + suffix;
}

// Copies the content of an open file into a new file (O_EXCL) with the given mode.
Result<void> copyContent(int in, const std::string& to, int openFlags, mode_t mode)
{
    UniqueFd out(::open(to.c_str(), openFlags | O_WRONLY | O_CLOEXEC, mode));
    if (!out.valid())
        return Error::fromErrno("open", errno, to);
    for (;;) {
        ssize_t n = ::sendfile(out.get(), in, nullptr, 1 << 20);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EINVAL || errno == ENOSYS) {
                // Fall back to read and write where sendfile does not apply.
                char buf[65536];
                for (;;) {
                    ssize_t r = ::read(in, buf, sizeof buf);
                    if (r == 0)
                        break;
                    if (r < 0) {
                        if (errno == EINTR)
                            continue;
                        return Error::fromErrno("read", errno, to);
                    }
                    VZ_TRY(writeAll(out.get(), std::string_view(buf, static_cast<std::size_t>(r)), to));
                }
                break;
            }
            return Error::fromErrno("sendfile", errno, to);
        }
    }
    if (::fsync(out.get()) != 0)
        return Error::fromErrno("fsync", errno, to);
    if (::close(out.release()) != 0)
        return Error::fromErrno("close", errno, to);
    return Success {};
}

} // namespace

bool exists(std::string_view path)
{
    struct stat st;
    return ::lstat(str(path).c_str(), &st) == 0;
}

bool isDirectory(std::string_view path)
{
    struct stat st;
    return ::stat(str(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Result<FileStatus> status(std::string_view path, FollowLinks follow)
{
    struct stat st;
    std::string p = str(path);
    int rc = follow == FollowLinks::Yes ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st);
    if (rc != 0)
        return Error::fromErrno(follow == FollowLinks::Yes ? "stat" : "lstat", errno, p);
    return platform::statusOf(st);
}

Result<std::vector<DirectoryEntry>> listDirectory(std::string_view folder)
{
    std::string f = str(folder);
    DIR* dir = ::opendir(f.c_str());
    if (!dir)
        return Error::fromErrno("opendir", errno, f);
    return platform::readEntries(dir, f);
}

Result<void> moveNoReplace(std::string_view from, std::string_view to)
{
    std::string src = str(from), dst = str(to);
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0)
        return Success {};
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // File systems without RENAME_NOREPLACE: link() never replaces either.
        if (::link(src.c_str(), dst.c_str()) == 0) {
            ::unlink(src.c_str());
            return Success {};
        }
        err = errno;
    }
    if (err != EXDEV)
        return Error::fromErrno("rename", err, src + " -> " + dst);

    // Another file system: copy beside the target, link it in place (never replacing),
    // then remove the source. A failure at any step leaves the source untouched.
    if (exists(dst))
        return Error::fromErrno("rename", EEXIST, dst);
    UniqueFd in(::open(src.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return Error::fromErrno("open", errno, src);
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return Error::fromErrno("fstat", errno, src);
    std::string tmp = temporarySibling(dst);
    if (auto r = copyContent(in.get(), tmp, O_CREAT | O_EXCL, st.st_mode & 07777); !r) {
        ::unlink(tmp.c_str());
        return r.error();
    }
    if (::link(tmp.c_str(), dst.c_str()) != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        return Error::fromErrno("link", e, dst);
    }
    ::unlink(tmp.c_str());
    if (::unlink(src.c_str()) != 0) {
        // The target is complete; take it back so the file is not left in both places.
        int e = errno;
        ::unlink(dst.c_str());
        return Error::fromErrno("unlink", e, src);
    }
    return Success {};
}

Result<void> remove(std::string_view path)
{
    std::string p = str(path);
    if (::unlink(p.c_str()) != 0)
        return Error::fromErrno("unlink", errno, p);
    return Success {};
}

Result<void> copyFile(std::string_view from, std::string_view to, Overwrite overwrite)
{
    std::string src = str(from), dst = str(to);
    UniqueFd in(::open(src.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return Error::fromErrno("open", errno, src);
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return Error::fromErrno("fstat", errno, src);
    if (overwrite == Overwrite::No && exists(dst))
        return Error::fromErrno("copy", EEXIST, dst);
    // Write a sibling and rename it over the target, so a failed copy never leaves a
    // half-written target behind.
    std::string tmp = temporarySibling(dst);
    if (auto r = copyContent(in.get(), tmp, O_CREAT | O_EXCL, st.st_mode & 0777); !r) {
        ::unlink(tmp.c_str());
        return r.error();
    }
    int rc = overwrite == Overwrite::Yes
        ? ::rename(tmp.c_str(), dst.c_str())
        : ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE);
    if (rc != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        return Error::fromErrno("rename", e, dst);
    }
    return Success {};
}

Result<void> makeFolder(std::string_view path, FolderAccess access)
{
    std::string p = str(path);
    mode_t mode = access == FolderAccess::Private ? 0700 : 0777;
    if (::mkdir(p.c_str(), mode) != 0)
        return Error::fromErrno("mkdir", errno, p);
    if (access == FolderAccess::Private && ::chmod(p.c_str(), 0700) != 0)
        return Error::fromErrno("chmod", errno, p);
    return Success {};
}

Result<std::string> readFile(std::string_view path)
{
    std::string p = str(path);
    UniqueFd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return Error::fromErrno("open", errno, p);
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno("read", errno, p);
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    return data;
}

Result<std::vector<std::string>> readLines(std::string_view path)
{
    auto data = readFile(path);
    if (!data)
        return data.error();
    std::vector<std::string> lines;
    std::string_view rest = *data;
    while (!rest.empty()) {
        auto nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        if (!line.empty() && line.back() == '\r' && nl != std::string_view::npos)
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (nl == std::string_view::npos)
            break;
        rest.remove_prefix(nl + 1);
    }
    return lines;
}

std::string joinLinesCrLf(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

namespace {

// What must come before an entry so that it starts on a line of its own: nothing
// after a line end, LF after a lone CR (the cut fell inside the line end), else CR
// LF. A file that cannot be read is taken as ending well, as nothing better is known.
std::string_view lineEndBefore(int fd, off_t size, bool readable)
{
    if (!readable || size <= 0)
        return {};
    char last = '\n';
    ssize_t n = 0;
    while ((n = ::pread(fd, &last, 1, size - 1)) < 0 && errno == EINTR) {
    }
    if (n != 1 || last == '\n')
        return {};
    return last == '\r' ? "\n" : "\r\n";
}

// Writes the entry at the end of the locked file, whole or not at all.
Result<void> appendWhole(int fd, bool readable, const std::string& entry, const std::string& path)
{
    struct stat before;
    if (::fstat(fd, &before) != 0)
        return Error::fromErrno("fstat", errno, path);
    // The last line was cut: never glue this entry onto it.
    std::string data(lineEndBefore(fd, before.st_size, readable));
    data += entry;
    std::string_view rest = data;
    while (!rest.empty()) {
        ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n > 0) {
            rest.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A full disk or the file size limit: a part of an entry would shift every
        // entry read after it, so the file goes back to what it held.
        int err = n < 0 ? errno : ENOSPC;
        while (::ftruncate(fd, before.st_size) != 0) {
            if (errno != EINTR)
                return Error::fromErrno("ftruncate", errno, path);
        }
        return Error::fromErrno("write", err, path);
    }
    return Success {};
}

} // namespace

Result<void> appendLines(std::string_view path, const std::vector<std::string>& lines)
{
    std::string p = str(path);
    std::string entry = joinLinesCrLf(lines);
    // A rewrite may replace the file while this waits for the lock: then the entry
    // goes into the new file, never into the replaced one. Rewrites are few, so the
    // bound only stops a file that is replaced for ever.
    for (int attempt = 0; attempt < 100000; ++attempt) {
        // Read access only to look at the last byte; a file open for writing only
        // (no read permission) is still appended to.
        bool readable = true;
        UniqueFd fd(::open(p.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (!fd.valid() && errno == EACCES) {
            readable = false;
            fd.reset(::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        }
        if (!fd.valid())
            return Error::fromErrno("open", errno, p);
        // The whole entry is written under an exclusive lock: two programs appending
        // at once never interleave their lines.
        while (::flock(fd.get(), LOCK_EX) != 0) {
            if (errno != EINTR)
                return Error::fromErrno("flock", errno, p);
        }
        struct stat opened, current;
        if (::fstat(fd.get(), &opened) == 0 && ::stat(p.c_str(), &current) == 0 && opened.st_ino == current.st_ino
            && opened.st_dev == current.st_dev) {
            auto r = appendWhole(fd.get(), readable, entry, p);
            ::flock(fd.get(), LOCK_UN);
            return r;
        }
    }
    return Error::fromErrno("append", EAGAIN, p);
}

Result<void> createExclusive(std::string_view path)
{
    std::string p = str(path);
    UniqueFd fd(::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd.valid())
        return Error::fromErrno("open", errno, p);
    if (::close(fd.release()) != 0)
        return Error::fromErrno("close", errno, p);
    return Success {};
}

Result<FileLock> FileLock::lockExclusive(std::string_view path)
{
    std::string p = str(path);
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Error::fromErrno("open", errno, p);
    OpenedFile file(fd);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return Error::fromErrno("flock", errno, p);
    }
    return FileLock(std::move(file));
}

Result<void> replaceFile(std::string_view path, std::string_view content)
{
    std::string p = str(path);
    std::string tmp = temporarySibling(p);
    mode_t mode = 0644;
    struct stat st;
    if (::stat(p.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd.valid())
        return Error::fromErrno("open", errno, tmp);
    auto fail = [&](Error e) -> Result<void> {
        ::unlink(tmp.c_str());
        return e;
    };
    if (auto r = writeAll(fd.get(), content, tmp); !r)
        return fail(r.error());
    if (::fsync(fd.get()) != 0)
        return fail(Error::fromErrno("fsync", errno, tmp));
    if (::close(fd.release()) != 0)
        return fail(Error::fromErrno("close", errno, tmp));
    if (::rename(tmp.c_str(), p.c_str()) != 0)
        return fail(Error::fromErrno("rename", errno, p));
    return Success {};
}

OpenedFile::~OpenedFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept : m_descriptor(other.m_descriptor)
{
    other.m_descriptor = -1;
}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = other.m_descriptor;
        other.m_descriptor = -1;
    }
    return *this;
}

std::string OpenedFile::shortPath() const
{
    return "/proc/self/fd/" + std::to_string(m_descriptor);
}

Result<OpenedFile> copyToUnnamedTemporaryFile(int source, const std::function<bool()>& stop)
{
    std::string folder = "/tmp";
    if (const char* t = std::getenv("TMPDIR"); t && *t == '/')
        folder = t;
    UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        // A file system without O_TMPFILE: a private name, unlinked before any use.
        std::string name = folder + "/vz-stdin-XXXXXX";
        fd.reset(::mkostemp(name.data(), O_CLOEXEC));
        if (!fd.valid())
            return Error::fromErrno("open temporary file", errno, folder);
        ::unlink(name.c_str());
    }
    char buf[65536];
    for (;;) {
        pollfd p { source, POLLIN, 0 };
        int ready = ::poll(&p, 1, 100);
        if (stop && stop())
            return Error::fromErrno("copy standard input", ECANCELED);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno("poll", errno);
        }
        if (ready == 0)
            continue;
        ssize_t n = ::read(source, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return Error::fromErrno("read standard input", errno);
        }
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(fd.get(), buf + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return Error::fromErrno("write temporary file", errno, folder);
            }
            done += w;
        }
    }
    return OpenedFile(fd.release());
}

Result<OpenedFile> openForReading(std::string_view path)
{
    std::string p = str(path);
    // O_NONBLOCK: a path that turned into a FIFO meanwhile must not hang the caller.
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return Error::fromErrno("open", errno, p);
    return OpenedFile(fd);
}

std::vector<std::string> activeSwapFiles()
{
    std::vector<std::string> out;
    auto lines = readLines("/proc/swaps");
    if (!lines)
        return out;
    for (std::size_t i = 1; i < lines->size(); ++i) {
        const std::string& line = (*lines)[i];
        auto end = line.find_first_of(" \t");
        std::string name = line.substr(0, end);
        // The kernel writes blanks in names as "\040".
        std::string unescaped;
        for (std::size_t k = 0; k < name.size(); ++k) {
            if (name[k] == '\\' && k + 3 < name.size()) {
                int v = (name[k + 1] - '0') * 64 + (name[k + 2] - '0') * 8 + (name[k + 3] - '0');
                unescaped += static_cast<char>(v);
                k += 3;
            } else {
                unescaped += name[k];
            }
        }
        if (!unescaped.empty())
            out.push_back(unescaped);
    }
    return out;
}

std::string currentFolder()
{
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string("/");
}

std::string ownProgramFolder()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return std::string(paths::folderOf(std::string_view(buf, static_cast<std::size_t>(n))));
}

Result<MemoryFile> MemoryFile::create(std::string_view label)
{
    std::string name = str(label);
    int fd = ::memfd_create(name.c_str(), MFD_CLOEXEC);
    if (fd < 0)
        return Error::fromErrno("memfd_create", errno, name);
    return MemoryFile(OpenedFile(fd));
}

Result<void> MemoryFile::replaceContent(std::string_view content)
{
    const int fd = m_file.descriptor();
    // Written over the old content, then cut to size: no pages freed and taken again.
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::pwrite(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Error::fromErrno("pwrite", n < 0 ? errno : EIO, shortPath());
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(content.size())) != 0)
        return Error::fromErrno("ftruncate", errno, shortPath());
    return Success {};
}

} // namespace vz::files
