#pragma once

#include "driver/kernel_port.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace vz::driver {

// Owner of one block of a driver pool; gives it back when it goes.
class PoolBlock {
public:
    PoolBlock() = default;
    ~PoolBlock() { reset(); }
    PoolBlock(PoolBlock&& other) noexcept
        : m_port(std::exchange(other.m_port, nullptr))
        , m_data(std::exchange(other.m_data, nullptr))
        , m_size(std::exchange(other.m_size, 0))
        , m_tag(other.m_tag)
    {
    }
    PoolBlock& operator=(PoolBlock&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_port = std::exchange(other.m_port, nullptr);
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
            m_tag = other.m_tag;
        }
        return *this;
    }
    PoolBlock(const PoolBlock&) = delete;
    PoolBlock& operator=(const PoolBlock&) = delete;

    // An empty block when the pool cannot give one.
    static PoolBlock allocate(KernelPort& port, std::size_t size, std::uint32_t tag)
    {
        PoolBlock block;
        void* data = port.allocatePool(size, tag);
        if (data == nullptr)
            return block;
        block.m_port = &port;
        block.m_data = static_cast<char*>(data);
        block.m_size = size;
        block.m_tag = tag;
        return block;
    }

    bool valid() const { return m_data != nullptr; }
    char* data() const { return m_data; }
    std::size_t size() const { return m_size; }

    // Hands the block to the caller, who gives it back through the port.
    char* release()
    {
        m_port = nullptr;
        m_size = 0;
        return std::exchange(m_data, nullptr);
    }

    void reset()
    {
        if (m_data != nullptr)
            m_port->freePool(m_data, m_tag);
        m_port = nullptr;
        m_data = nullptr;
        m_size = 0;
    }

private:
    KernelPort* m_port = nullptr;
    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::uint32_t m_tag = 0;
};

} // namespace vz::driver
