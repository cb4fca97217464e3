#include "driver/name_pool.h"

namespace vz::driver {

NamePool::~NamePool()
{
    for (char* buffer : m_free)
        m_port.freePool(buffer, kNamePoolTag);
}

char* NamePool::take()
{
    {
        std::lock_guard lock(m_lock);
        if (!m_free.empty()) {
            char* buffer = m_free.back();
            m_free.pop_back();
            return buffer;
        }
    }
    return static_cast<char*>(m_port.allocatePool(kNameBufferSize, kNamePoolTag));
}

void NamePool::giveBack(char* buffer)
{
    {
        std::lock_guard lock(m_lock);
        if (m_free.size() < kNamePoolDepth) {
            m_free.push_back(buffer);
            return;
        }
    }
    m_port.freePool(buffer, kNamePoolTag);
}

} // namespace vz::driver
