#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace vz::driver {

// Sizes of the driver's name slots, NUL included.
inline constexpr std::size_t kRequestNameSlot = 260;
inline constexpr std::size_t kProcessTagSlot = 260;
inline constexpr std::size_t kLastExaminedSlot = 1024;
inline constexpr std::size_t kLastRefusedSlot = 260;

// The names shared between the opening threads and the service's control calls: the
// request name and process tag the service reads, and the last examined and last
// refused names. Each is replaced whole under one lock, so a reader never sees half of
// a name; as before, the later writer wins.
class RequestSlots {
public:
    // What the name test stores for an accepted name.
    void fill(std::string_view name, std::string_view processTag);

    std::string requestName() const;
    std::string processTag() const;
    std::string lastExaminedName() const;
    std::string lastRefusedName() const;

    // Compared without regard to case.
    bool isLastExamined(std::string_view name) const;
    bool isLastRefused(std::string_view name) const;

    void clearLastExamined();
    void clearRequestName();
    // The request name becomes the last refused name and is cleared.
    void refuseRequestName();

private:
    mutable std::mutex m_lock;
    std::string m_requestName;
    std::string m_processTag;
    std::string m_lastExamined;
    std::string m_lastRefused;
};

} // namespace vz::driver
