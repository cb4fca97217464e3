// Linux adapter of the process list: /proc.
#include "platform/processes/proc_process_list.h"

#include "common/paths.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace vz::platform {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::optional<std::uint32_t> pidOf(const char* name)
{
    std::uint64_t value = 0;
    if (*name == '\0')
        return std::nullopt;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > UINT32_MAX)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

bool parseHex(std::string_view text, std::uint64_t& out)
{
    if (text.empty() || text.size() > 16)
        return false;
    std::uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    out = value;
    return true;
}

// The kernel writes a line end inside a mapped file's path as "\012".
std::string asInMaps(std::string_view path)
{
    std::string out;
    for (char c : path) {
        if (c == '\n')
            out += "\\012";
        else
            out += c;
    }
    return out;
}

// Skips one blank-separated field; false when the line ends first.
bool skipField(std::string_view line, std::size_t& at)
{
    while (at < line.size() && line[at] == ' ')
        ++at;
    if (at >= line.size())
        return false;
    while (at < line.size() && line[at] != ' ')
        ++at;
    return true;
}

} // namespace

std::optional<ProcessImage> imageInMaps(std::string_view maps, std::string_view program)
{
    std::string wanted = asInMaps(program);
    std::optional<ProcessImage> image;
    std::uint64_t highestEnd = 0;
    std::size_t lineStart = 0;
    while (lineStart < maps.size()) {
        std::size_t lineEnd = maps.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = maps.size();
        std::string_view line = maps.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;

        // "start-end perms offset dev inode    path"
        std::size_t dash = line.find('-');
        std::size_t space = line.find(' ');
        std::uint64_t start = 0, end = 0;
        if (dash == std::string_view::npos || space == std::string_view::npos || dash > space
            || !parseHex(line.substr(0, dash), start) || !parseHex(line.substr(dash + 1, space - dash - 1), end) || end <= start)
            continue;
        std::size_t at = space;
        bool whole = skipField(line, at) && skipField(line, at) && skipField(line, at) && skipField(line, at);
        if (!whole)
            continue;
        while (at < line.size() && line[at] == ' ')
            ++at;
        if (line.substr(at) != wanted)
            continue;
        if (!image) {
            image = ProcessImage { start, 0 };
        } else if (start < image->baseAddress) {
            image->baseAddress = start;
        }
        highestEnd = std::max(highestEnd, end);
    }
    if (image)
        image->imageSize = highestEnd - image->baseAddress;
    return image;
}

Result<std::vector<std::uint32_t>> ProcProcessList::processIds(std::size_t maxCount)
{
    std::unique_ptr<DIR, DirCloser> dir(::opendir(m_proc.c_str()));
    if (!dir)
        return Error::fromErrno("opendir", errno, m_proc);
    std::vector<std::uint32_t> ids;
    errno = 0;
    while (ids.size() < maxCount) {
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                return Error::fromErrno("readdir", errno, m_proc);
            break;
        }
        if (auto pid = pidOf(entry->d_name))
            ids.push_back(*pid);
    }
    return ids;
}

std::optional<std::string> ProcProcessList::programPath(std::uint32_t pid) const
{
    std::string link = paths::join(paths::join(m_proc, std::to_string(pid)), "exe");
    std::string target(256, '\0');
    for (;;) {
        ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
        // Kernel threads have no program; other users' processes are not ours to see.
        if (n <= 0)
            return std::nullopt;
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            return target;
        }
        if (target.size() >= 65536)
            return std::nullopt;
        target.resize(target.size() * 2);
    }
}

std::optional<std::string> ProcProcessList::firstModuleBaseName(std::uint32_t pid)
{
    auto program = programPath(pid);
    if (!program)
        return std::nullopt;
    return std::string(paths::fileName(*program));
}

std::optional<ProcessImage> ProcProcessList::moduleInformation(std::uint32_t pid)
{
    auto program = programPath(pid);
    if (!program)
        return std::nullopt;
    std::ifstream in(paths::join(paths::join(m_proc, std::to_string(pid)), "maps"));
    if (!in)
        return std::nullopt;
    std::ostringstream maps;
    maps << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return imageInMaps(maps.str(), *program);
}

} // namespace vz::platform
