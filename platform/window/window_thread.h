#pragma once

#include "common/result.h"
#include "platform/window/window_endpoint.h"

#include <memory>
#include <thread>

namespace vz::platform {

// Serves a window endpoint on a thread of its own until it goes: the destructor stops
// the thread (through an event descriptor it waits on beside the socket), joins it and
// closes the endpoint. The handler runs on that thread, one message at a time.
class WindowThread {
public:
    static Result<std::unique_ptr<WindowThread>> start(WindowEndpoint endpoint, WindowHandler handler);
    ~WindowThread();
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    const WindowEndpoint& endpoint() const { return m_endpoint; }

private:
    WindowThread(WindowEndpoint endpoint, WindowHandler handler, UniqueFd stop);
    void run();

    WindowEndpoint m_endpoint;
    WindowHandler m_handler;
    UniqueFd m_stop;
    std::thread m_thread;
};

} // namespace vz::platform
