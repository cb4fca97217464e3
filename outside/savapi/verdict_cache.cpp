#include "outside/savapi/verdict_cache.h"

#include "common/result.h"
#include "outside/savapi/definitions_format.h"
#include "outside/savapi/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vz::savapi {

namespace {

constexpr char Magic[8] = { 'V', 'Z', 'V', 'R', 'D', 'C', 'T', '\x1a' };
constexpr std::uint16_t Format = 1;
// Another process saving holds the folder's lock for a moment; one that holds it
// longer (or a hostile user) costs this save, never the scan.
constexpr auto LockPatience = std::chrono::seconds(5);

void put(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::uint64_t get(std::string_view in, std::size_t offset, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[offset + i])) << (8 * i);
    return value;
}

std::uint32_t now()
{
    return static_cast<std::uint32_t>(std::time(nullptr));
}

std::string header(const VerdictContext& context, std::uint32_t count, std::uint32_t entriesCrc)
{
    std::string out(Magic, sizeof Magic);
    put(out, Format, 2);
    put(out, VerdictCache::EntryBytes, 2);
    put(out, count, 4);
    put(out, context.digest, 8);
    put(out, context.year, 2);
    put(out, context.month, 1);
    put(out, context.day, 1);
    for (const std::uint8_t part : context.version)
        put(out, part, 1);
    put(out, entriesCrc, 4);
    put(out, crc32(out), 4);
    return out;
}

void putEntry(std::string& out, const VerdictKey& key, std::uint32_t used)
{
    put(out, key.file.device, 8);
    put(out, key.file.inode, 8);
    put(out, key.file.size, 8);
    put(out, static_cast<std::uint64_t>(key.file.modifiedNs), 8);
    put(out, static_cast<std::uint64_t>(key.file.changedNs), 8);
    put(out, key.options, 2);
    put(out, 0, 2);
    put(out, used, 4);
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

platform::UniqueFd openFolder(const std::string& folder)
{
    return platform::UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool lockPatiently(int fd)
{
    const auto until = std::chrono::steady_clock::now() + LockPatience;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

FileIdentity FileIdentity::of(const struct stat& st)
{
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

std::size_t VerdictKeyHash::operator()(const VerdictKey& key) const
{
    std::uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](std::uint64_t v) {
        h ^= v;
        h *= 1099511628211ull;
    };
    mix(key.file.device);
    mix(key.file.inode);
    mix(key.file.size);
    mix(static_cast<std::uint64_t>(key.file.modifiedNs));
    mix(static_cast<std::uint64_t>(key.file.changedNs));
    mix(key.options);
    return static_cast<std::size_t>(h);
}

VerdictCache::VerdictCache(std::string folder, const VerdictContext& context, std::size_t maxEntries)
    : m_folder(std::move(folder)), m_context(context), m_maxEntries(std::max<std::size_t>(maxEntries, 1))
{
}

VerdictCache::~VerdictCache() = default;

VerdictCache::Trust VerdictCache::readFile(int folderFd, Map& into) const
{
    const std::string name(FileName);
    platform::UniqueFd file(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid())
        return errno == ENOENT ? Trust::Absent : Trust::Untrusted;
    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        return Trust::Untrusted;
    // Anything another user could have written may claim any file clean.
    if (!S_ISREG(st.st_mode) || (st.st_uid != ::geteuid() && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH)))
        return Trust::Untrusted;

    // From here on a file that does not hold up is ours to rebuild, never to believe.
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size < HeaderBytes || size > HeaderBytes + MostEntriesRead * EntryBytes || (size - HeaderBytes) % EntryBytes)
        return Trust::Trusted;
    std::string bytes;
    int error = 0;
    if (!readExactly(file.get(), 0, static_cast<std::size_t>(size), bytes, error))
        return Trust::Trusted;
    const std::string_view all(bytes);
    const auto count = static_cast<std::uint32_t>(get(all, 12, 4));
    if (all.substr(0, sizeof Magic) != std::string_view(Magic, sizeof Magic) || get(all, 8, 2) != Format
        || get(all, 10, 2) != EntryBytes || HeaderBytes + std::uint64_t { count } * EntryBytes != size
        || get(all, 36, 4) != crc32(all.substr(0, 36)))
        return Trust::Trusted;
    const std::string_view entries = all.substr(HeaderBytes);
    if (get(all, 32, 4) != crc32(entries) || all.substr(0, 32) != std::string_view(header(m_context, count, 0)).substr(0, 32))
        return Trust::Trusted;

    into.reserve(into.size() + count);
    for (std::size_t at = 0; at < entries.size(); at += EntryBytes) {
        VerdictKey key;
        key.file.device = get(entries, at, 8);
        key.file.inode = get(entries, at + 8, 8);
        key.file.size = get(entries, at + 16, 8);
        key.file.modifiedNs = static_cast<std::int64_t>(get(entries, at + 24, 8));
        key.file.changedNs = static_cast<std::int64_t>(get(entries, at + 32, 8));
        key.options = static_cast<std::uint16_t>(get(entries, at + 40, 2));
        const auto used = static_cast<std::uint32_t>(get(entries, at + 44, 4));
        auto [it, added] = into.emplace(key, used);
        if (!added)
            it->second = std::max(it->second, used);
    }
    return Trust::Trusted;
}

void VerdictCache::trim(Map& map, std::size_t keep) const
{
    if (map.size() <= keep)
        return;
    // The least recently used go first; ties at the boundary go in any order.
    std::vector<std::uint32_t> used;
    used.reserve(map.size());
    for (const auto& entry : map)
        used.push_back(entry.second);
    const std::size_t excess = map.size() - keep;
    std::nth_element(used.begin(), used.begin() + static_cast<std::ptrdiff_t>(excess - 1), used.end());
    const std::uint32_t boundary = used[excess - 1];
    std::size_t removed = 0;
    for (auto it = map.begin(); it != map.end() && removed < excess;) {
        if (it->second < boundary) {
            it = map.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    for (auto it = map.begin(); it != map.end() && removed < excess;) {
        if (it->second == boundary) {
            it = map.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
}

void VerdictCache::load()
{
    Map loaded;
    Trust trust = Trust::Untrusted;
    if (const platform::UniqueFd folder = openFolder(m_folder); folder.valid())
        trust = readFile(folder.get(), loaded);
    trim(loaded, m_maxEntries);
    std::lock_guard lock(m_mutex);
    m_verdicts = std::move(loaded);
    m_persistent = trust != Trust::Untrusted;
    m_unsaved = 0;
}

bool VerdictCache::isClean(const VerdictKey& key)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_verdicts.find(key);
    if (it == m_verdicts.end())
        return false;
    it->second = now();
    return true;
}

bool VerdictCache::addClean(const VerdictKey& key)
{
    std::lock_guard lock(m_mutex);
    if (m_verdicts.size() >= m_maxEntries && !m_verdicts.count(key)) {
        // Room for an eighth more at once, so that a full cache does not sort on
        // every new verdict.
        trim(m_verdicts, m_maxEntries - std::max<std::size_t>(m_maxEntries / 8, 1));
    }
    m_verdicts[key] = now();
    ++m_unsaved;
    return m_persistent && m_unsaved >= SaveEvery;
}

void VerdictCache::save()
{
    std::lock_guard saving(m_saveMutex);
    {
        std::lock_guard lock(m_mutex);
        if (!m_persistent || m_unsaved == 0)
            return;
    }
    const platform::UniqueFd folder = openFolder(m_folder);
    // A folder this process may not write (the installation's, for a user's program)
    // keeps the verdicts in memory without taking the lock the writers use.
    if (!folder.valid() || ::faccessat(folder.get(), ".", W_OK | X_OK, AT_EACCESS) != 0) {
        std::lock_guard lock(m_mutex);
        m_persistent = false;
        return;
    }
    if (!lockPatiently(folder.get()))
        return;

    // What another process saved since this one read the file is kept.
    Map theirs;
    const Trust trust = readFile(folder.get(), theirs);
    std::string bytes;
    {
        std::lock_guard lock(m_mutex);
        if (trust == Trust::Untrusted) {
            m_persistent = false;
            return;
        }
        for (const auto& [key, used] : theirs) {
            auto [it, added] = m_verdicts.emplace(key, used);
            if (!added)
                it->second = std::max(it->second, used);
        }
        trim(m_verdicts, m_maxEntries);
        std::string entries;
        entries.reserve(m_verdicts.size() * EntryBytes);
        for (const auto& [key, used] : m_verdicts)
            putEntry(entries, key, used);
        bytes = header(m_context, static_cast<std::uint32_t>(m_verdicts.size()), crc32(entries));
        bytes += entries;
        m_unsaved = 0;
    }

    // A whole new file renamed over the old one: a reader sees one or the other.
    const std::string temporary = std::string(FileName) + "." + std::to_string(::getpid()) + ".new";
    platform::UniqueFd out(::openat(folder.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out.valid() && errno == EEXIST) {
        // Left by a process of this number that died while saving: the lock is ours.
        vz::ignoreError(::unlinkat(folder.get(), temporary.c_str(), 0), "the open that follows says whether it went");
        out.reset(::openat(folder.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    }
    if (!out.valid()) {
        // Nowhere to write (a folder of another user): the verdicts stay in memory.
        std::lock_guard lock(m_mutex);
        m_persistent = false;
        return;
    }
    // Readable by the other programs of the installation, writable by the owner only.
    const bool written = ::fchmod(out.get(), 0644) == 0 && writeAll(out.get(), bytes) && ::fsync(out.get()) == 0;
    if (!written || ::close(out.release()) != 0 || ::renameat(folder.get(), temporary.c_str(), folder.get(), std::string(FileName).c_str()) != 0)
        vz::ignoreError(::unlinkat(folder.get(), temporary.c_str(), 0), "a leftover is removed by the next save of this process number");
}

bool VerdictCache::persistent() const
{
    std::lock_guard lock(m_mutex);
    return m_persistent;
}

std::size_t VerdictCache::size() const
{
    std::lock_guard lock(m_mutex);
    return m_verdicts.size();
}

} // namespace vz::savapi
