#include "driver/tick_source.h"

namespace vz::driver {

bool SteadyTickSource::waitTick()
{
    std::unique_lock lock(m_lock);
    m_stopped.wait_for(lock, kHoldTick, [this] { return m_stopping; });
    return !m_stopping;
}

void SteadyTickSource::pause(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_lock);
    m_stopped.wait_for(lock, duration, [this] { return m_stopping; });
}

void SteadyTickSource::stop()
{
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_stopped.notify_all();
}

} // namespace vz::driver
