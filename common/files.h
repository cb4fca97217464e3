#pragma once

#include "common/result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Files with the semantics the logic relies on. Declared here in the logic's words;
// the Linux adapter (platform/) defines them.
namespace vz::files {

enum class Overwrite { No, Yes };
enum class FollowLinks { No, Yes };
enum class FileKind { Missing, Regular, Directory, Symlink, Other };

struct FileStatus {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;
    std::uint64_t device = 0;     // the file system the file lives on
    std::int64_t modifiedSeconds = 0;
    unsigned mode = 0;            // permission bits
};

struct DirectoryEntry {
    std::string name;
    FileKind kind = FileKind::Other; // as the folder reports it; symbolic links are not followed
};

bool exists(std::string_view path);
bool isDirectory(std::string_view path);
Result<FileStatus> status(std::string_view path, FollowLinks follow = FollowLinks::Yes);

// Entries of a folder without "." and "..", in the order the file system gives them.
Result<std::vector<DirectoryEntry>> listDirectory(std::string_view folder);

// Moves a file, never replacing an existing target. Across file systems the file is
// copied beside the target, put in place without replacing, and only then is the
// source removed, so the file is never lost and never left in both places.
Result<void> moveNoReplace(std::string_view from, std::string_view to);

Result<void> remove(std::string_view path);
Result<void> copyFile(std::string_view from, std::string_view to, Overwrite overwrite);

// Makes one folder (not its parents), owner-only when private is asked.
enum class FolderAccess { Default, Private };
Result<void> makeFolder(std::string_view path, FolderAccess access = FolderAccess::Default);

Result<std::string> readFile(std::string_view path);

// Text lines without their line ends; a CR before the LF is dropped.
Result<std::vector<std::string>> readLines(std::string_view path);

// Appends the lines, each ended with CR LF, in one piece under an exclusive lock, so
// that entries of two writing programs never interleave. Creates the file, never
// its folder. The entry goes in whole or not at all: when the disk is full or the
// file may grow no further, the file is cut back to its former size and the error
// returned. A file whose last line was cut (it does not end in LF) gets its line
// end first, so the entry starts on a line of its own.
Result<void> appendLines(std::string_view path, const std::vector<std::string>& lines);

// Creates a new empty file; fails with EEXIST when the name is taken (also by a
// symbolic link), so two creators never get the same file.
Result<void> createExclusive(std::string_view path);

// Replaces the whole file through a temporary file in the same folder and a rename,
// so a crash or a full disk leaves either the old or the new content, never a part.
Result<void> replaceFile(std::string_view path, std::string_view content);

// Joins lines with CR LF after each, as text-mode files are written.
std::string joinLinesCrLf(const std::vector<std::string>& lines);

// The process's current folder.
std::string currentFolder();

// The folder that holds the running program's own file (no final separator).
std::string ownProgramFolder();

// A file open for reading, which can be named by a short path while it stays open:
// how a file whose path is longer than a record's path field still reaches the engine.
class OpenedFile {
public:
    OpenedFile() = default;
    explicit OpenedFile(int descriptor) : m_descriptor(descriptor) {}
    ~OpenedFile();
    OpenedFile(OpenedFile&& other) noexcept;
    OpenedFile& operator=(OpenedFile&& other) noexcept;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    // A path naming this open file ("/proc/self/fd/<n>").
    std::string shortPath() const;
    int descriptor() const { return m_descriptor; }

private:
    int m_descriptor = -1;
};

Result<OpenedFile> openForReading(std::string_view path);

// Copies what the descriptor `source` gives, to its end, into a new temporary file no
// other process can name or open (O_TMPFILE, 0600, in $TMPDIR or /tmp; else a file made
// and unlinked at once). `stop` is asked while waiting for data: true ends the copy
// with ECANCELED. The file stays while the owner stays open.
Result<OpenedFile> copyToUnnamedTemporaryFile(int source, const std::function<bool()>& stop);

// A file in memory only, private to this process, whose content is replaced at will:
// many contents reach a library that tests files by path (through shortPath) without
// a file on disk and a name for each.
class MemoryFile {
public:
    static Result<MemoryFile> create(std::string_view label);

    // The file holds exactly content afterwards.
    Result<void> replaceContent(std::string_view content);
    std::string shortPath() const { return m_file.shortPath(); }

private:
    explicit MemoryFile(OpenedFile file) : m_file(std::move(file)) {}
    OpenedFile m_file;
};

// An exclusive lock on an existing file, held until the owner goes. appendLines takes
// the same lock, so an entry appended while a rewrite holds it waits, and then goes
// into the rewritten file rather than into the one the rewrite replaced.
class FileLock {
public:
    static Result<FileLock> lockExclusive(std::string_view path);

private:
    explicit FileLock(OpenedFile file) : m_file(std::move(file)) {}
    OpenedFile m_file; // closing it releases the lock
};

// The swap files the system uses now (they are never scanned for errors).
std::vector<std::string> activeSwapFiles();

} // namespace vz::files
