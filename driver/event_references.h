#pragma once

#include "driver/kernel_port.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace vz::driver {

// The service's request event and its second event, held by reference. Signalling and
// releasing are serialised, so an open never signals an event that has been let go.
class EventReferences {
public:
    explicit EventReferences(KernelPort& port) : m_port(port) {}
    ~EventReferences();
    EventReferences(const EventReferences&) = delete;
    EventReferences& operator=(const EventReferences&) = delete;

    // Takes a reference to each handle that names an object; a handle that does not
    // (or is missing) leaves that reference empty. Earlier references are released.
    void registerEvents(std::optional<std::uint32_t> requestHandle, std::optional<std::uint32_t> secondHandle);
    void releaseRequestEvent();
    // False when no request event is registered.
    bool signalRequestEvent();
    bool hasRequestEvent() const;

private:
    KernelPort& m_port;
    mutable std::mutex m_lock;
    KernelObject* m_requestEvent = nullptr;
    KernelObject* m_secondEvent = nullptr;
};

} // namespace vz::driver
