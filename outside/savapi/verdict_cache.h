#pragma once

#include "platform/linux/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

struct stat;

namespace vz::savapi {

// A regular file as the engine saw it: any write moves its change time.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    static FileIdentity of(const struct stat& st);
    bool operator==(const FileIdentity&) const = default;
};

struct VerdictKey {
    FileIdentity file;
    std::uint16_t options = 0; // those that change what a test finds

    bool operator==(const VerdictKey&) const = default;
};

struct VerdictKeyHash {
    std::size_t operator()(const VerdictKey& key) const;
};

// What the verdicts were found under: the definitions, the detecting library and the
// settings that change a verdict. A file made under another context is emptied.
struct VerdictContext {
    std::uint64_t digest = 0;
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t version[4] {};
};

// The clean verdicts of regular files, kept in memory and in the file VERDICTS.DAT
// beside the definitions. The file is trusted only when it is a regular file owned by
// this user or by root and writable by nobody else; otherwise, and when it cannot be
// written, the verdicts stay in memory. Safe for several threads.
//
// File (little-endian):
//    0  8  magic "VZVRDCT\x1a"
//    8  2  format (1), 10 2 entry size (48)
//   12  4  entry count
//   16  8  context digest
//   24  2  definitions year, 26 1 month, 27 1 day, 28 4 definitions version
//   32  4  CRC-32 of the entries
//   36  4  CRC-32 of header bytes 0..35
// Entry: device 8, inode 8, size 8, modification and change time in nanoseconds
// 8 + 8, options 2, zero 2, last use in seconds since 1970 4.
class VerdictCache {
public:
    static constexpr std::string_view FileName = "VERDICTS.DAT";
    static constexpr std::size_t HeaderBytes = 40;
    static constexpr std::size_t EntryBytes = 48;
    // A file that claims more entries than this is not read.
    static constexpr std::size_t MostEntriesRead = 1u << 22;
    // A full set saves itself after this many new verdicts, besides at the end.
    static constexpr std::size_t SaveEvery = 20000;

    // folder: where the file is (the definitions' folder); maxEntries > 0.
    VerdictCache(std::string folder, const VerdictContext& context, std::size_t maxEntries);
    ~VerdictCache();
    VerdictCache(const VerdictCache&) = delete;
    VerdictCache& operator=(const VerdictCache&) = delete;

    // Reads the file when it can be trusted; decides whether it may be written.
    void load();
    bool isClean(const VerdictKey& key);
    // Answers true when enough new verdicts wait for a save.
    bool addClean(const VerdictKey& key);
    // Merges what another process saved meanwhile and replaces the file.
    void save();

    bool persistent() const;
    std::size_t size() const;

private:
    using Map = std::unordered_map<VerdictKey, std::uint32_t, VerdictKeyHash>;
    enum class Trust { Absent, Trusted, Untrusted };

    Trust readFile(int folderFd, Map& into) const;
    // Drops the least recently used until keep are left.
    void trim(Map& map, std::size_t keep) const;

    const std::string m_folder;
    const VerdictContext m_context;
    const std::size_t m_maxEntries;
    mutable std::mutex m_mutex;
    Map m_verdicts;
    std::size_t m_unsaved = 0;
    bool m_persistent = false;
    std::mutex m_saveMutex;
};

} // namespace vz::savapi
