#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vz::driver {

inline constexpr std::chrono::milliseconds kHoldTick{10};
inline constexpr std::chrono::milliseconds kAnswerLook{50};

// The hold worker's clock. The running driver uses the steady clock; tests hand in a
// source they step by hand, so a ten-second hold costs them no time.
class TickSource {
public:
    virtual ~TickSource() = default;
    // Blocks the hold worker for one tick of kHoldTick. False once stop() was called.
    virtual bool waitTick() = 0;
    // Blocks the caller for about `duration`; returns early once stop() was called.
    virtual void pause(std::chrono::milliseconds duration) = 0;
    // Releases every waiter; later waits return at once.
    virtual void stop() = 0;
};

// Ticks and pauses measured by the steady clock.
class SteadyTickSource final : public TickSource {
public:
    bool waitTick() override;
    void pause(std::chrono::milliseconds duration) override;
    void stop() override;

private:
    std::mutex m_lock;
    std::condition_variable m_stopped;
    bool m_stopping = false;
};

} // namespace vz::driver
