#pragma once

#include "driver/control_code_handler.h"
#include "driver/driver_state.h"
#include "driver/fast_io.h"
#include "driver/kernel_port.h"
#include "driver/open_interception.h"
#include "driver/tick_source.h"
#include "driver/volume_attachment.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vz::driver {

// The guard driver: its start, the one dispatch routine for every device, the control
// device's handling and the fast-I/O table. It stands on the kernel port alone.
class GuardDriver final : public DriverEntryPoints {
public:
    GuardDriver(KernelPort& port, TickSource& ticks);
    ~GuardDriver() override;
    GuardDriver(const GuardDriver&) = delete;
    GuardDriver& operator=(const GuardDriver&) = delete;

    // The driver's entry: control device and link, entry points, image-name offset and
    // the hold worker. A failure leaves nothing behind and returns its status.
    NtStatus start();
    // Takes the driver down (the daemon ends): the hold worker stops and every held open
    // gets the file system's result.
    void stop();

    NtStatus dispatch(Device& device, Request& request) override;
    std::uint32_t fastIo(FastIoEntry entry, FastIoCall& call, Device* device) override;

    // What the state holds now; for the adapters' diagnostics and for tests.
    struct Snapshot {
        std::uint8_t readyFlag = 0;
        std::uint32_t holdFlag = 0;
        std::int32_t verdict = 0;
        std::uint32_t createOptionsWord = 0;
        std::string requestName;
        std::string processTag;
        std::string lastExaminedName;
        std::string lastRefusedName;
        std::uint32_t driveMask = 0;
        std::size_t heldOpens = 0;
        std::uint32_t imageNameOffset = 0;
        bool requestEventRegistered = false;
        std::vector<std::string> includePatterns;
        std::vector<std::string> excludePatterns;
        DriverFilterRecord filterRecord {};
    };
    Snapshot snapshot() const;
    Device* controlDevice() const { return m_controlDevice; }
    Device* slot(unsigned letterIndex) const { return m_volumes.slot(letterIndex); }

private:
    NtStatus controlDeviceRequest(Request& request);
    std::uint32_t forwardFastIo(FastIoEntry entry, FastIoCall& call, Device* device, std::uint32_t notForwarded);
    std::uint32_t sectionFastIo(FastIoEntry entry, FastIoCall& call);

    KernelPort& m_port;
    DriverState m_state;
    VolumeAttachment m_volumes;
    OpenInterception m_interception;
    ControlCodeHandler m_handler;
    Device* m_controlDevice = nullptr;
};

} // namespace vz::driver
