#pragma once

#include "driver/kernel_port.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace vz::driver {

inline constexpr unsigned kDriveLetters = 26;
inline constexpr std::uint32_t kAllLetters = (1u << kDriveLetters) - 1;

// The volume filter devices per drive letter and the mask of letters intercepted now.
// Several letters that lead to one volume share its device and its Active flag; a
// device stays attached until the file system below tears the volume down.
class VolumeAttachment {
public:
    explicit VolumeAttachment(KernelPort& port) : m_port(port) {}

    // Letters from A to Z, each looking at the mask as earlier letters left it. Returns
    // the mask of letters intercepted now.
    std::uint32_t setDrives(std::uint32_t wanted);
    bool attach(unsigned letterIndex);
    void deactivate(unsigned letterIndex);
    // The file system below `device` is going away. If the device serves any letter, it
    // is detached and deleted and every slot that holds it is emptied; true then.
    bool detachIfServing(Device& device, Device& lower);

    std::uint32_t driveMask() const;
    Device* slot(unsigned letterIndex) const;

    // "\DosDevices\C:\" for index 2.
    static std::string rootPath(unsigned letterIndex);

private:
    bool attachLocked(unsigned letterIndex);
    void deactivateLocked(unsigned letterIndex);
    bool inSlotTable(const Device* device) const;

    KernelPort& m_port;
    // set-drives comes from the service's thread, detach from the platform's; the lock
    // keeps the table whole between them.
    mutable std::mutex m_lock;
    std::array<Device*, kDriveLetters> m_slots{};
    std::uint32_t m_driveMask = 0;
};

} // namespace vz::driver
