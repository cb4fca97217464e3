// The sending side of the window channel over Unix stream sockets.
#include "platform/window/unix_window_channel.h"

#include "common/environment.h"
#include "platform/linux/unique_fd.h"
#include "platform/window/window_name.h"
#include "platform/window/window_protocol.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

namespace vz::platform {

namespace {

using Clock = std::chrono::steady_clock;
namespace wp = window_protocol;

timeval toTimeval(std::chrono::milliseconds ms)
{
    timeval tv {};
    tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
    return tv;
}

// A connection to the window's endpoint, or nothing when there is no such window.
UniqueFd connectTo(const std::string& folder, std::string_view title, std::chrono::milliseconds timeout)
{
    std::string path = windowSocketPath(folder, title);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return {};
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return {};
    // Bounds a connect that waits for room in the endpoint's backlog.
    timeval tv = toTimeval(timeout);
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int rc;
    do {
        rc = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    // ENOENT: no window; ECONNREFUSED: a socket file its program left behind.
    if (rc != 0)
        return {};
    return fd;
}

} // namespace

UnixWindowChannel::UnixWindowChannel()
    : m_folder(environment::runtimeFolder())
{
}

UnixWindowChannel::UnixWindowChannel(std::string folder, WindowChannelTimeouts timeouts)
    : m_folder(std::move(folder))
    , m_timeouts(timeouts)
{
}

std::optional<std::uint32_t> UnixWindowChannel::sendCopyData(std::string_view windowTitle, const std::vector<std::uint8_t>& data)
{
    if (data.size() > wp::MaxDataSize)
        return std::nullopt; // no endpoint would take it
    UniqueFd fd = connectTo(m_folder, windowTitle, m_timeouts.connectAndSend);
    if (!fd.valid())
        return std::nullopt;
    auto request = wp::encodeRequest(wp::Kind::CopyData, 0, data);
    if (writeAll(fd.get(), request.data(), request.size(), Clock::now() + m_timeouts.connectAndSend) != IoOutcome::Done)
        return std::nullopt;
    std::uint8_t answer[wp::AnswerSize];
    if (readExactly(fd.get(), answer, sizeof answer, Clock::now() + m_timeouts.answer) != IoOutcome::Done)
        return std::nullopt;
    std::uint32_t value = 0;
    if (!wp::decodeAnswer(answer, value))
        return std::nullopt;
    return value;
}

bool UnixWindowChannel::postCommand(std::string_view windowTitle, std::uint32_t commandId)
{
    UniqueFd fd = connectTo(m_folder, windowTitle, m_timeouts.connectAndSend);
    if (!fd.valid())
        return false;
    auto request = wp::encodeRequest(wp::Kind::Command, commandId, {});
    // Queued in the endpoint's socket: delivered without waiting for the receiver.
    return writeAll(fd.get(), request.data(), request.size(), Clock::now() + m_timeouts.connectAndSend) == IoOutcome::Done;
}

} // namespace vz::platform
