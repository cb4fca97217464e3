#pragma once

#include "driver/kernel_port.h"

#include <cstdint>
#include <string>

namespace vz::driver {

// How far into the process object the image name is looked for.
inline constexpr std::uint32_t kImageNameSearchLimit = 0x3000;
inline constexpr std::size_t kImageNameMaxChars = 15;

// The first position in the start process's object where the six characters "System"
// stand; 0 when there is none (and every process tag is then "???").
std::uint32_t findImageNameOffset(const ProcessObject& startProcess);

// "<image name, at most 15 characters>:<process id>", or "???" without an offset.
std::string processTag(const ProcessObject& process, std::uint32_t imageNameOffset);

} // namespace vz::driver
