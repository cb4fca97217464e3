#pragma once

#include "common/files.h"
#include "common/result.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Folders and files held open while a scan works on them. Everything a scan does to a
// file (test, repair, move, delete, chmod) goes through the descriptor of the folder
// that was walked and of the file that was tested, never through a path string: a
// folder swapped for a link, or a file swapped for another, meanwhile can then never
// make the scan act outside its target. Declared here in the logic's words; the Linux
// adapter (platform/linux/folder_linux.cpp) defines them.
namespace vz::files {

// Which file an open file or a folder entry is, whatever its name.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The errno of a failure because an entry is no longer the file that was tested.
inline constexpr int EntryChanged = ESTALE;

bool isEntryChanged(const Error& error);

// A regular file open for reading, as the walk tested it.
class HeldFile {
public:
    HeldFile() = default;
    HeldFile(int descriptor, FileIdentity identity, std::uint64_t size);
    ~HeldFile();
    HeldFile(HeldFile&& other) noexcept;
    HeldFile& operator=(HeldFile&& other) noexcept;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    const FileIdentity& identity() const { return m_identity; }
    std::uint64_t size() const { return m_size; }
    // A path naming this open file ("/proc/self/fd/<n>"): how the engine reaches
    // exactly the file that was opened, whatever its name has become.
    std::string shortPath() const;
    // Owner-only access (0600) on the file itself.
    Result<void> makePrivate() const;

private:
    int m_descriptor = -1;
    FileIdentity m_identity;
    std::uint64_t m_size = 0;
};

// A folder open by descriptor.
class Folder {
public:
    // Opens the folder a caller named: links on the way are followed, as a user who
    // names a link means its target.
    static Result<Folder> open(std::string_view path);

    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    FileIdentity identity() const { return m_identity; }
    // The folder's real path, without links (from the open descriptor).
    Result<std::string> realPath() const;

    // The entries without "." and "..", in the order the file system gives them; an
    // error while reading is reported, never a short list passed as complete. Links
    // are reported as links, never followed.
    Result<std::vector<DirectoryEntry>> entries() const;

    // A sub-folder, never through a link (ELOOP or ENOTDIR for one).
    Result<Folder> openSubfolder(std::string_view name) const;
    // A regular file of this folder for reading, never through a link; a FIFO,
    // device or socket is refused without blocking.
    Result<HeldFile> openFile(std::string_view name) const;
    // The entry as it is now, links not followed.
    Result<FileStatus> entryStatus(std::string_view name) const;
    Result<FileIdentity> entryIdentity(std::string_view name) const;

    // Removes the entry only while it still is `expected`; else EntryChanged and
    // nothing is removed.
    Result<void> removeFile(std::string_view name, const HeldFile& expected) const;
    // Moves the entry into `to` as `toName`, never replacing, only while it still is
    // `expected`. Across file systems the held file's content is copied (owner-only)
    // and the entry removed only after the copy is complete.
    Result<void> moveFile(std::string_view name, const HeldFile& expected, const Folder& to, std::string_view toName) const;
    // Renames an entry inside this folder, never replacing.
    Result<void> renameEntry(std::string_view from, std::string_view to) const;
    // Removes a file entry whatever it is (for the folder's owner's own files).
    Result<void> removeEntry(std::string_view name) const;

    // Creates a new owner-only file with the content, never replacing one (EEXIST).
    Result<void> createFile(std::string_view name, std::string_view content) const;
    // Reads a regular file of this folder, at most `limit` bytes (EFBIG beyond).
    Result<std::string> readFile(std::string_view name, std::uint64_t limit) const;

private:
    explicit Folder(int descriptor, FileIdentity identity);
    int m_descriptor = -1;
    FileIdentity m_identity;
};

// A file the user named, opened by following links, with the folder that holds it
// (by its real path) and its name there. The folder's entry is checked to be the
// opened file, so what is acted on later is exactly what was named and tested.
struct NamedFile {
    Folder folder;
    std::string name;
    std::string realPath;
    HeldFile file;
};
Result<NamedFile> openNamedFile(std::string_view path);

// A regular file the user named that no folder entry names (an unnamed temporary
// file such as a copy of standard input): opened by following links, for a test only.
Result<HeldFile> openUnnamedFile(std::string_view path);

} // namespace vz::files
