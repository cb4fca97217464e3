#pragma once

#include "driver/kernel_port.h"

#include <cstddef>
#include <mutex>
#include <vector>

namespace vz::driver {

inline constexpr std::size_t kNameBufferSize = 1024;
inline constexpr std::size_t kNamePoolDepth = 256;

// Fixed 1024-byte name buffers, kept for reuse (up to 256 free ones) instead of a new
// allocation per open.
class NamePool {
public:
    explicit NamePool(KernelPort& port) : m_port(port) {}
    ~NamePool();
    NamePool(const NamePool&) = delete;
    NamePool& operator=(const NamePool&) = delete;

    // nullptr when the pool cannot give a buffer.
    char* take();
    void giveBack(char* buffer);

private:
    KernelPort& m_port;
    std::mutex m_lock;
    std::vector<char*> m_free;
};

// One name buffer for the length of one open's handling.
class NameBuffer {
public:
    explicit NameBuffer(NamePool& pool) : m_pool(pool), m_data(pool.take()) {}
    ~NameBuffer() { release(); }
    NameBuffer(const NameBuffer&) = delete;
    NameBuffer& operator=(const NameBuffer&) = delete;

    bool valid() const { return m_data != nullptr; }
    char* data() const { return m_data; }
    void release()
    {
        if (m_data != nullptr)
            m_pool.giveBack(m_data);
        m_data = nullptr;
    }

private:
    NamePool& m_pool;
    char* m_data;
};

} // namespace vz::driver
