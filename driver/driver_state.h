#pragma once

#include "driver/control_codes.h"
#include "driver/event_references.h"
#include "driver/hold_queue.h"
#include "driver/kernel_port.h"
#include "driver/name_filter_lists.h"
#include "driver/name_pool.h"
#include "driver/request_slots.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace vz::driver {

// The driver-wide state, one instance from start until the system stops.
//
// The ready flag, hold flag, verdict and options word are shared between the opening
// threads, the hold worker and the service's control calls without a lock; each is
// read and written whole, which atomics make exact.
struct DriverState {
    explicit DriverState(KernelPort& port) : events(port), patterns(port), namePool(port) {}

    // 1 while the guard is on and no request is outstanding.
    std::atomic<std::uint8_t> readyFlag{0};
    // 1 while the service asks the driver to keep waiting.
    std::atomic<std::uint32_t> holdFlag{0};
    // The service's answer to the current request.
    std::atomic<std::int32_t> verdict{kVerdictNone};
    // The outstanding open's create disposition (top 8 bits) and options (low 24).
    std::atomic<std::uint32_t> createOptionsWord{0};
    // From issuing a request until the hold worker has finished it, also when its open
    // was cancelled meanwhile; so such a request still ends by answer or time-out.
    std::atomic<bool> requestOutstanding{false};
    // Set when the driver is being taken down (the daemon ends, a test ends).
    std::atomic<bool> stopping{false};

    RequestSlots slots;
    EventReferences events;
    NameFilterLists patterns;
    HoldQueue holdQueue;
    NamePool namePool;

    // Where the platform's process object keeps the image name; written once at start.
    std::uint32_t imageNameOffset = 0;

    // The last driver filter record, kept as the service sent it.
    mutable std::mutex filterRecordLock;
    DriverFilterRecord filterRecord{};
};

} // namespace vz::driver
