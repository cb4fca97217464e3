#include "driver/volume_attachment.h"

#include "driver/filter_extension.h"

namespace vz::driver {

std::string VolumeAttachment::rootPath(unsigned letterIndex)
{
    std::string path = "\\DosDevices\\A:\\";
    path[12] = static_cast<char>('A' + letterIndex);
    return path;
}

std::uint32_t VolumeAttachment::setDrives(std::uint32_t wanted)
{
    std::lock_guard lock(m_lock);
    // Bits above Z: name no letter; they are never intercepted, so never reported.
    std::uint32_t result = wanted & kAllLetters;
    for (unsigned n = 0; n < kDriveLetters; ++n) {
        const std::uint32_t bit = 1u << n;
        if ((result & bit) != 0 && (m_driveMask & bit) == 0) {
            if (!attachLocked(n)) {
                result &= ~bit;
                continue;
            }
            for (unsigned k = 0; k < kDriveLetters; ++k) {
                if (m_slots[k] == m_slots[n])
                    result |= 1u << k;
            }
        } else if ((result & bit) == 0 && (m_driveMask & bit) != 0) {
            Device* device = m_slots[n];
            if (device == nullptr) {
                // No device (the volume went away): only this letter is affected, not
                // every other empty slot.
                result &= ~bit;
                continue;
            }
            for (unsigned k = 0; k < kDriveLetters; ++k) {
                if (m_slots[k] == device) {
                    deactivateLocked(k);
                    result &= ~(1u << k);
                }
            }
        }
    }
    m_driveMask = result;
    return result;
}

bool VolumeAttachment::attach(unsigned letterIndex)
{
    std::lock_guard lock(m_lock);
    return attachLocked(letterIndex);
}

void VolumeAttachment::deactivate(unsigned letterIndex)
{
    std::lock_guard lock(m_lock);
    deactivateLocked(letterIndex);
}

bool VolumeAttachment::inSlotTable(const Device* device) const
{
    for (Device* slot : m_slots) {
        if (slot == device)
            return true;
    }
    return false;
}

bool VolumeAttachment::attachLocked(unsigned n)
{
    if (n >= kDriveLetters)
        return false;
    if (m_slots[n] != nullptr) {
        m_slots[n]->filterExtension()->Active.store(1);
        return true;
    }

    KernelHandle root = 0;
    if (!isSuccess(m_port.openDirectory(rootPath(n), root)))
        return false;
    Device* top = m_port.topDeviceOf(root);
    if (top == nullptr) {
        m_port.closeHandle(root);
        return false;
    }
    if (inSlotTable(top)) {
        // The volume is served for another letter already; its Active flag stays.
        m_slots[n] = top;
        m_port.closeHandle(root);
        return true;
    }

    Device* filter = nullptr;
    if (!isSuccess(m_port.createDevice(DeviceSpec { {}, top->deviceType(), false }, filter)) || filter == nullptr) {
        m_port.closeHandle(root);
        return false;
    }
    FilterExtension& extension = *filter->filterExtension();
    extension.Type = kVolumeFilterType;
    extension.LowerDevice = top;
    extension.DriveLetter = 'A' + n;
    extension.Active.store(1);
    if (!isSuccess(m_port.attachDevice(*filter, *top))) {
        m_port.deleteDevice(*filter);
        m_port.closeHandle(root);
        return false;
    }
    m_port.closeHandle(root);
    m_slots[n] = filter;
    return true;
}

void VolumeAttachment::deactivateLocked(unsigned n)
{
    if (n < kDriveLetters && m_slots[n] != nullptr)
        m_slots[n]->filterExtension()->Active.store(0);
}

bool VolumeAttachment::detachIfServing(Device& device, Device& lower)
{
    std::lock_guard lock(m_lock);
    if (!inSlotTable(&device))
        return false;
    m_port.detachDevice(lower);
    // Every letter on the volume lets go of it, and leaves the mask, so that the next
    // set-drives that wants the letter attaches anew.
    for (unsigned k = 0; k < kDriveLetters; ++k) {
        if (m_slots[k] == &device) {
            m_slots[k] = nullptr;
            m_driveMask &= ~(1u << k);
        }
    }
    m_port.deleteDevice(device);
    return true;
}

std::uint32_t VolumeAttachment::driveMask() const
{
    std::lock_guard lock(m_lock);
    return m_driveMask;
}

Device* VolumeAttachment::slot(unsigned letterIndex) const
{
    std::lock_guard lock(m_lock);
    return letterIndex < kDriveLetters ? m_slots[letterIndex] : nullptr;
}

} // namespace vz::driver
