#include "platform/window/window_thread.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vz::platform {

Result<std::unique_ptr<WindowThread>> WindowThread::start(WindowEndpoint endpoint, WindowHandler handler)
{
    UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stop.valid())
        return Error::fromErrno("eventfd", errno, endpoint.socketPath());
    std::unique_ptr<WindowThread> thread(new WindowThread(std::move(endpoint), std::move(handler), std::move(stop)));
    thread->m_thread = std::thread([t = thread.get()] { t->run(); });
    return thread;
}

WindowThread::WindowThread(WindowEndpoint endpoint, WindowHandler handler, UniqueFd stop)
    : m_endpoint(std::move(endpoint))
    , m_handler(std::move(handler))
    , m_stop(std::move(stop))
{
}

WindowThread::~WindowThread()
{
    std::uint64_t one = 1;
    while (::write(m_stop.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    if (m_thread.joinable())
        m_thread.join();
}

void WindowThread::run()
{
    for (;;) {
        pollfd fds[2] = { { m_stop.get(), POLLIN, 0 }, { m_endpoint.pollFd(), POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents != 0) {
            // FIXME: a listening socket that keeps failing (out of descriptors) makes
            // this loop spin until descriptors are free again.
            ignoreError(m_endpoint.serveOne(m_handler, WaitMode::NoWait), "a dropped connection ends only that request; the window keeps serving");
        }
    }
}

} // namespace vz::platform
