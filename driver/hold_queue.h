#pragma once

#include "driver/fast_io.h"
#include "driver/kernel_port.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace vz::driver {

inline constexpr std::size_t kHoldQueueLimit = 250;

// An open the file system has finished and the driver keeps back.
struct HeldOpen {
    Request* request = nullptr;
    // The LowerDevice of the volume filter device the open came through.
    Device* lowerDevice = nullptr;
    FileObject* file = nullptr;
    IoStatusBlock fileSystemResult;
};

// The held opens in arrival order, never more than 250. An open leaves it either to
// the hold worker or to its cancel routine, never to both: the worker takes an open's
// cancel routine away under the queue's lock, and an open whose routine the platform
// has already taken is set aside for that routine instead.
class HoldQueue {
public:
    // Appends the open and runs `whileQueued` (which gives it the cancel routine) under
    // the lock. False, with nothing done, when the queue is full.
    bool append(const HeldOpen& open, const std::function<void()>& whileQueued);

    // An open taken out by the hold worker. When the platform was already cancelling
    // it, its cancel routine finishes it and the worker must leave it alone.
    struct Taken {
        HeldOpen open;
        bool leftToCancelRoutine = false;
    };
    // Takes every queued open out, oldest first.
    std::vector<Taken> takeAll();

    // For the cancel routine: the open, whether still queued or set aside.
    std::optional<HeldOpen> removeForCancel(const Request& request);

    std::size_t count() const;

private:
    mutable std::mutex m_lock;
    std::deque<HeldOpen> m_queue;
    std::vector<HeldOpen> m_cancelling;
};

} // namespace vz::driver
