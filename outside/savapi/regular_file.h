#pragma once

#include "platform/linux/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vz::savapi {

// A file opened for reading that is known to be a regular file of a known size.
struct RegularFile {
    platform::UniqueFd fd;
    std::uint64_t size = 0;
    int error = 0; // the errno when it is not open; EINVAL when it is no regular file

    bool valid() const { return fd.valid(); }
};

// Opens path for reading and keeps it only when it is a regular file. The open never
// waits for a writer of a pipe or a device's answer, so a definitions file, settings
// file or module replaced by a pipe or a link to a device fails at once.
RegularFile openRegularFile(const std::string& path);

// Reads exactly count bytes from offset into out. On failure error holds the errno,
// or 0 when the file ends before count bytes.
bool readExactly(int fd, std::uint64_t offset, std::size_t count, std::string& out, int& error);

} // namespace vz::savapi
