#include "driver/simulated/manual_tick_source.h"

namespace vz::driver::sim {

bool ManualTickSource::waitTick()
{
    std::unique_lock lock(m_lock);
    m_workerWaiting = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_stopped || m_granted > m_consumed; });
    if (m_stopped)
        return false;
    ++m_consumed;
    m_nowMs += kHoldTick.count();
    m_workerWaiting = false;
    m_changed.notify_all();
    return true;
}

void ManualTickSource::pause(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_lock);
    const std::int64_t until = m_nowMs + duration.count();
    m_changed.wait(lock, [&] { return m_stopped || m_nowMs >= until; });
}

void ManualTickSource::stop()
{
    std::lock_guard lock(m_lock);
    m_stopped = true;
    m_changed.notify_all();
}

void ManualTickSource::advance(int ticks)
{
    for (int i = 0; i < ticks; ++i) {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this] { return m_stopped || (m_workerWaiting && m_consumed == m_granted); });
        if (m_stopped)
            return;
        ++m_granted;
        m_changed.notify_all();
        // Back in waitTick with nothing left to take: the tick has been handled.
        m_changed.wait(lock, [this] { return m_stopped || (m_workerWaiting && m_consumed == m_granted); });
    }
}

int ManualTickSource::advanceUntil(const std::function<bool()>& done, int limit)
{
    int handed = 0;
    while (handed < limit && !done()) {
        advance(1);
        ++handed;
    }
    return handed;
}

std::int64_t ManualTickSource::nowMs() const
{
    std::lock_guard lock(m_lock);
    return m_nowMs;
}

std::uint64_t ManualTickSource::ticksHandled() const
{
    std::lock_guard lock(m_lock);
    return m_consumed;
}

} // namespace vz::driver::sim
