#pragma once

#include <cstdint>
#include <string>

namespace vz::savapi {

// The bytes of a range of a running process's memory, read through /proc/PID/mem.
// Pages that cannot be read (gaps between the image's mappings) read as zeros.
struct ProcessImage {
    enum class Status { Ok, AccessDenied, NotFound, ReadError };
    Status status = Status::ReadError;
    int error = 0; // errno of the failure
    std::string bytes;
};

ProcessImage readProcessImage(std::uint64_t processId, std::uint64_t baseAddress, std::uint32_t size);

} // namespace vz::savapi
