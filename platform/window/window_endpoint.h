#pragma once

#include "common/result.h"
#include "platform/linux/unique_fd.h"
#include "platform/window/window_protocol.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vz::platform {

// Who sent a message, as the kernel vouches for it (SO_PEERCRED at connect time).
struct WindowPeer {
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::int32_t pid = 0;
};

// One message to a window: data sent synchronously (the answer goes back to the
// sender) or a one-way command with its identifier in `parameter`.
struct WindowMessage {
    window_protocol::Kind kind = window_protocol::Kind::CopyData;
    std::uint32_t parameter = 0;
    std::vector<std::uint8_t> data;
    WindowPeer sender;
};

// Handles one message; the answer is sent back for data and ignored for commands.
using WindowHandler = std::function<std::uint32_t(const WindowMessage&)>;

enum class WaitMode { UntilRequest, NoWait };

enum class ServeOutcome {
    Served,         // the handler ran (and a data sender got its answer)
    NothingWaiting, // no sender was waiting (NoWait only)
    Dropped,        // a malformed, oversized or cut-short request: closed unanswered
};

// The receiving side of a window: owns the listening socket of the titled window in a
// folder (the runtime folder) for as long as it lives, and removes it when it goes.
//
// A title belongs to one endpoint at a time. The endpoint holds an exclusive lock on
// "<socket name>.lock" beside the socket for its whole life; the kernel drops the lock
// when the owner dies, so a socket file found under a free lock is stale and is
// replaced, and one under a held lock is never touched.
//
// Requests are served on the owner's thread: poll pollFd() for reading (or not) and
// call serveOne(); every message is handled whole before the next is accepted.
class WindowEndpoint {
public:
    static constexpr std::chrono::milliseconds DefaultRequestTimeout { 2'000 };

    // The window in the runtime folder (environment::runtimeFolder()).
    static Result<WindowEndpoint> create(std::string_view title);
    // `requestTimeout` bounds how long one sender may take to deliver its request.
    static Result<WindowEndpoint> create(
        std::string_view title, const std::string& folder, std::chrono::milliseconds requestTimeout = DefaultRequestTimeout);

    WindowEndpoint(WindowEndpoint&& other) noexcept = default;
    WindowEndpoint& operator=(WindowEndpoint&& other) noexcept;
    WindowEndpoint(const WindowEndpoint&) = delete;
    WindowEndpoint& operator=(const WindowEndpoint&) = delete;
    ~WindowEndpoint();

    // Readable when a sender waits.
    int pollFd() const { return m_listen.get(); }

    // Takes one sender, reads its request, runs the handler and answers. Failing only
    // when the listening socket itself fails; a bad sender is Dropped.
    Result<ServeOutcome> serveOne(const WindowHandler& handler, WaitMode wait = WaitMode::UntilRequest);

    const std::string& socketPath() const { return m_socketPath; }

private:
    WindowEndpoint(UniqueFd listen, UniqueFd lock, std::string socketPath, std::string lockPath, std::chrono::milliseconds timeout);
    void close();

    UniqueFd m_listen;
    UniqueFd m_lock;
    std::string m_socketPath;
    std::string m_lockPath;
    std::chrono::milliseconds m_requestTimeout { DefaultRequestTimeout };
};

} // namespace vz::platform
