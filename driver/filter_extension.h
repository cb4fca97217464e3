#pragma once

#include <atomic>
#include <cstdint>

namespace vz::driver {

class Device;

inline constexpr std::uint32_t kControlDeviceType = 0;
inline constexpr std::uint32_t kVolumeFilterType = 1;

// The record every device of this driver carries. On the control device only Type is
// set. Active is the one field that changes after a volume filter device is made; it is
// read by openers on other threads, so it is an atomic byte.
struct FilterExtension {
    std::uint32_t Type = kControlDeviceType;
    Device* LowerDevice = nullptr;
    std::uint32_t DriveLetter = 0;
    std::atomic<std::uint8_t> Active{0};
};

} // namespace vz::driver
