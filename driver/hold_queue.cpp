#include "driver/hold_queue.h"

#include <algorithm>

namespace vz::driver {

bool HoldQueue::append(const HeldOpen& open, const std::function<void()>& whileQueued)
{
    std::lock_guard lock(m_lock);
    if (m_queue.size() >= kHoldQueueLimit)
        return false;
    m_queue.push_back(open);
    whileQueued();
    return true;
}

std::vector<HoldQueue::Taken> HoldQueue::takeAll()
{
    std::vector<Taken> taken;
    std::lock_guard lock(m_lock);
    while (!m_queue.empty()) {
        HeldOpen open = m_queue.front();
        m_queue.pop_front();
        const bool cancelling = !open.request->clearCancelRoutine();
        if (cancelling)
            m_cancelling.push_back(open);
        taken.push_back(Taken { open, cancelling });
    }
    return taken;
}

std::optional<HeldOpen> HoldQueue::removeForCancel(const Request& request)
{
    std::lock_guard lock(m_lock);
    auto queued = std::find_if(m_queue.begin(), m_queue.end(), [&](const HeldOpen& open) { return open.request == &request; });
    if (queued != m_queue.end()) {
        HeldOpen open = *queued;
        m_queue.erase(queued);
        return open;
    }
    auto aside = std::find_if(m_cancelling.begin(), m_cancelling.end(), [&](const HeldOpen& open) { return open.request == &request; });
    if (aside != m_cancelling.end()) {
        HeldOpen open = *aside;
        m_cancelling.erase(aside);
        return open;
    }
    return std::nullopt;
}

std::size_t HoldQueue::count() const
{
    std::lock_guard lock(m_lock);
    return m_queue.size();
}

} // namespace vz::driver
