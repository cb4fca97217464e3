#include "driver/event_references.h"

namespace vz::driver {

EventReferences::~EventReferences()
{
    if (m_requestEvent != nullptr)
        m_port.dereferenceObject(*m_requestEvent);
    if (m_secondEvent != nullptr)
        m_port.dereferenceObject(*m_secondEvent);
}

void EventReferences::registerEvents(std::optional<std::uint32_t> requestHandle, std::optional<std::uint32_t> secondHandle)
{
    KernelObject* request = requestHandle ? m_port.referenceObject(*requestHandle) : nullptr;
    KernelObject* second = secondHandle ? m_port.referenceObject(*secondHandle) : nullptr;
    KernelObject* oldRequest = nullptr;
    KernelObject* oldSecond = nullptr;
    {
        std::lock_guard lock(m_lock);
        oldRequest = m_requestEvent;
        oldSecond = m_secondEvent;
        m_requestEvent = request;
        m_secondEvent = second;
    }
    if (oldRequest != nullptr)
        m_port.dereferenceObject(*oldRequest);
    if (oldSecond != nullptr)
        m_port.dereferenceObject(*oldSecond);
}

void EventReferences::releaseRequestEvent()
{
    KernelObject* old = nullptr;
    {
        std::lock_guard lock(m_lock);
        old = m_requestEvent;
        m_requestEvent = nullptr;
    }
    if (old != nullptr)
        m_port.dereferenceObject(*old);
}

bool EventReferences::signalRequestEvent()
{
    std::lock_guard lock(m_lock);
    if (m_requestEvent == nullptr)
        return false;
    m_port.setEvent(*m_requestEvent);
    return true;
}

bool EventReferences::hasRequestEvent() const
{
    std::lock_guard lock(m_lock);
    return m_requestEvent != nullptr;
}

} // namespace vz::driver
