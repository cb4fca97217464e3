#pragma once

#include "driver/tick_source.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace vz::driver::sim {

// A tick source that tests step by hand. The hold worker's waitTick parks until the
// test hands out a tick; advance() returns only when the worker has handled the tick
// and waits for the next one, so every step is complete when the test looks. Virtual
// time moves 10 ms per tick, and pauses end when it has moved far enough.
class ManualTickSource final : public TickSource {
public:
    bool waitTick() override;
    void pause(std::chrono::milliseconds duration) override;
    void stop() override;

    // Hands out `ticks` ticks, one at a time.
    void advance(int ticks = 1);
    // Hands out ticks until `done` holds (looked at before each tick) or `limit` ticks
    // have gone; returns the number handed out.
    int advanceUntil(const std::function<bool()>& done, int limit);

    std::int64_t nowMs() const;
    std::uint64_t ticksHandled() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_stopped = false;
    bool m_workerWaiting = false;
    std::uint64_t m_granted = 0;
    std::uint64_t m_consumed = 0;
    std::int64_t m_nowMs = 0;
};

} // namespace vz::driver::sim
