#include "outside/savapi/process_image.h"

#include "platform/linux/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace vz::savapi {

namespace {

constexpr std::size_t PageBytes = 4096;
constexpr std::size_t ChunkBytes = 1 << 20;

// Reads what it can of [offset, offset + size) into out; answers the bytes read and
// sets error to the errno of a failed read (left as it was when the read just ends).
std::size_t readRange(int fd, std::uint64_t address, char* out, std::size_t size, int& error)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(address + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

} // namespace

ProcessImage readProcessImage(std::uint64_t processId, std::uint64_t baseAddress, std::uint32_t size)
{
    ProcessImage image;
    if (processId == 0 || processId > 0x7fffffff) {
        image.status = ProcessImage::Status::NotFound;
        image.error = ESRCH;
        return image;
    }
    const std::string path = "/proc/" + std::to_string(processId) + "/mem";
    const platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const int fd = file.get();
    if (!file.valid()) {
        image.error = errno;
        image.status = (errno == EACCES || errno == EPERM) ? ProcessImage::Status::AccessDenied : ProcessImage::Status::NotFound;
        return image;
    }
    image.bytes.assign(size, '\0');
    std::size_t readable = 0;
    int lastError = 0;
    for (std::size_t at = 0; at < size; at += ChunkBytes) {
        const std::size_t chunk = std::min<std::size_t>(ChunkBytes, size - at);
        std::size_t got = readRange(fd, baseAddress + at, image.bytes.data() + at, chunk, lastError);
        if (got < chunk) {
            readable += got - got % PageBytes;
            // Page by page past the hole: the rest of the image may still be mapped.
            for (std::size_t page = got - got % PageBytes; page < chunk; page += PageBytes) {
                const std::size_t n = std::min(PageBytes, chunk - page);
                got = page + readRange(fd, baseAddress + at + page, image.bytes.data() + at + page, n, lastError);
                readable += got - page;
            }
        } else {
            readable += got;
        }
    }
    if (size != 0 && readable == 0) {
        image.error = lastError; // 0 when the reads only came up empty
        image.status = (image.error == EACCES || image.error == EPERM) ? ProcessImage::Status::AccessDenied : ProcessImage::Status::ReadError;
        image.bytes.clear();
        return image;
    }
    image.status = ProcessImage::Status::Ok;
    return image;
}

} // namespace vz::savapi
