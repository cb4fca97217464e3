#pragma once

#include "common/result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vz {

// Where a process's program image lies in its address space.
struct ProcessImage {
    std::uint64_t baseAddress = 0;
    std::uint64_t imageSize = 0;
};

// The running processes, as the memory scan walks them. A process that cannot be
// opened or inspected (another user's, a kernel thread without a program, one that
// ended meanwhile) gives nothing rather than an error: the scan skips it.
class ProcessList {
public:
    virtual ~ProcessList() = default;

    // Up to maxCount process IDs in the system's own order; an error when the list
    // itself cannot be read.
    virtual Result<std::vector<std::uint32_t>> processIds(std::size_t maxCount) = 0;

    // The file name of the process's first module, its program.
    virtual std::optional<std::string> firstModuleBaseName(std::uint32_t pid) = 0;

    // The address range of that module's image.
    virtual std::optional<ProcessImage> moduleInformation(std::uint32_t pid) = 0;
};

} // namespace vz
