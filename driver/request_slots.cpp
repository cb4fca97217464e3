#include "driver/request_slots.h"

namespace vz::driver {

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string fitted(std::string_view text, std::size_t slot)
{
    return std::string(text.substr(0, slot - 1));
}

} // namespace

void RequestSlots::fill(std::string_view name, std::string_view processTag)
{
    std::lock_guard lock(m_lock);
    m_lastExamined = fitted(name, kLastExaminedSlot);
    m_processTag = fitted(processTag, kProcessTagSlot);
    m_requestName = fitted(name, kRequestNameSlot);
}

std::string RequestSlots::requestName() const
{
    std::lock_guard lock(m_lock);
    return m_requestName;
}

std::string RequestSlots::processTag() const
{
    std::lock_guard lock(m_lock);
    return m_processTag;
}

std::string RequestSlots::lastExaminedName() const
{
    std::lock_guard lock(m_lock);
    return m_lastExamined;
}

std::string RequestSlots::lastRefusedName() const
{
    std::lock_guard lock(m_lock);
    return m_lastRefused;
}

bool RequestSlots::isLastExamined(std::string_view name) const
{
    std::lock_guard lock(m_lock);
    return equalsIgnoreCase(name, m_lastExamined);
}

bool RequestSlots::isLastRefused(std::string_view name) const
{
    std::lock_guard lock(m_lock);
    return equalsIgnoreCase(name, m_lastRefused);
}

void RequestSlots::clearLastExamined()
{
    std::lock_guard lock(m_lock);
    m_lastExamined.clear();
}

void RequestSlots::clearRequestName()
{
    std::lock_guard lock(m_lock);
    m_requestName.clear();
}

void RequestSlots::refuseRequestName()
{
    std::lock_guard lock(m_lock);
    m_lastRefused = fitted(m_requestName, kLastRefusedSlot);
    m_requestName.clear();
}

} // namespace vz::driver
