// The receiving side of windows: a listening Unix stream socket per title.
#include "platform/window/window_endpoint.h"

#include "common/environment.h"
#include "platform/window/window_name.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vz::platform {

namespace {

using Clock = std::chrono::steady_clock;
namespace wp = window_protocol;

constexpr int Backlog = 64;
constexpr int LockAttempts = 8;
// Every user's programs connect; what a sender may do is the handler's decision.
constexpr mode_t SocketMode = 0666;
constexpr mode_t SharedFolderMode = 01777;

// The runtime folder is sticky and open to all like /tmp; made when it is missing.
Result<void> ensureFolder(const std::string& folder)
{
    if (::mkdir(folder.c_str(), SharedFolderMode) == 0) {
        if (::chmod(folder.c_str(), SharedFolderMode) != 0)
            return Error::fromErrno("chmod", errno, folder);
        return Success {};
    }
    if (errno != EEXIST)
        return Error::fromErrno("mkdir", errno, folder);
    return Success {};
}

// The exclusive lock that makes its holder the title's only endpoint.
Result<UniqueFd> takeTitleLock(const std::string& lockPath)
{
    for (int attempt = 0; attempt < LockAttempts; ++attempt) {
        // Opened without O_CREAT first: in a sticky folder the kernel may refuse
        // O_CREAT on another user's existing file even to the administrator.
        UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.valid() && errno == ENOENT) {
            fd = UniqueFd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!fd.valid() && errno == EEXIST)
                continue; // made by another endpoint in between
        }
        if (!fd.valid())
            return Error::fromErrno("open", errno == EACCES ? EADDRINUSE : errno, lockPath);
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                return Error::fromErrno("window", EADDRINUSE, lockPath);
            return Error::fromErrno("flock", errno, lockPath);
        }
        // The lock counts only while the file still has its name: a departing
        // endpoint removes it, and a newer file may stand there by now.
        struct stat held, named;
        if (::fstat(fd.get(), &held) != 0)
            return Error::fromErrno("fstat", errno, lockPath);
        if (::stat(lockPath.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            return fd;
    }
    return Error::fromErrno("window", EAGAIN, lockPath);
}

} // namespace

Result<WindowEndpoint> WindowEndpoint::create(std::string_view title)
{
    return create(title, environment::runtimeFolder());
}

Result<WindowEndpoint> WindowEndpoint::create(std::string_view title, const std::string& folder, std::chrono::milliseconds requestTimeout)
{
    std::string socketPath = windowSocketPath(folder, title);
    if (socketPath.empty())
        return Error::withText("window", "a window needs a title");
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return Error::fromErrno("window", ENAMETOOLONG, socketPath);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    std::string lockPath = socketPath + ".lock";

    VZ_TRY(ensureFolder(folder));
    auto lock = takeTitleLock(lockPath);
    if (!lock.ok())
        return lock.error();
    // From here on the endpoint owns the title's files and removes them when it goes,
    // also when anything below fails.
    WindowEndpoint endpoint(UniqueFd(), std::move(*lock), socketPath, lockPath, requestTimeout);
    // The lock is ours, so any socket file here is a dead endpoint's.
    if (::unlink(socketPath.c_str()) != 0 && errno != ENOENT)
        return Error::fromErrno("unlink", errno, socketPath);
    endpoint.m_listen = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!endpoint.m_listen.valid())
        return Error::fromErrno("socket", errno, socketPath);
    if (::bind(endpoint.m_listen.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Error::fromErrno("bind", errno, socketPath);
    if (::chmod(socketPath.c_str(), SocketMode) != 0)
        return Error::fromErrno("chmod", errno, socketPath);
    if (::listen(endpoint.m_listen.get(), Backlog) != 0)
        return Error::fromErrno("listen", errno, socketPath);
    return endpoint;
}

WindowEndpoint::WindowEndpoint(
    UniqueFd listen, UniqueFd lock, std::string socketPath, std::string lockPath, std::chrono::milliseconds timeout)
    : m_listen(std::move(listen))
    , m_lock(std::move(lock))
    , m_socketPath(std::move(socketPath))
    , m_lockPath(std::move(lockPath))
    , m_requestTimeout(timeout)
{
}

WindowEndpoint& WindowEndpoint::operator=(WindowEndpoint&& other) noexcept
{
    if (this != &other) {
        close();
        m_listen = std::move(other.m_listen);
        m_lock = std::move(other.m_lock);
        m_socketPath = std::move(other.m_socketPath);
        m_lockPath = std::move(other.m_lockPath);
        m_requestTimeout = other.m_requestTimeout;
    }
    return *this;
}

WindowEndpoint::~WindowEndpoint()
{
    close();
}

void WindowEndpoint::close()
{
    if (!m_lock.valid())
        return;
    // Names first, while the lock is still held, so that no newcomer's files go.
    ::unlink(m_socketPath.c_str());
    ::unlink(m_lockPath.c_str());
    m_listen.reset();
    m_lock.reset();
}

Result<ServeOutcome> WindowEndpoint::serveOne(const WindowHandler& handler, WaitMode wait)
{
    UniqueFd peer;
    for (;;) {
        if (wait == WaitMode::UntilRequest) {
            pollfd p { m_listen.get(), POLLIN, 0 };
            if (::poll(&p, 1, -1) < 0 && errno != EINTR)
                return Error::fromErrno("poll", errno, m_socketPath);
        }
        peer = UniqueFd(::accept4(m_listen.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (peer.valid())
            break;
        // A sender that gave up between poll and accept is no error.
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
            return Error::fromErrno("accept", errno, m_socketPath);
        if (wait == WaitMode::NoWait)
            return ServeOutcome::NothingWaiting;
    }

    WindowMessage message;
    ucred credentials {};
    socklen_t length = sizeof credentials;
    if (::getsockopt(peer.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return ServeOutcome::Dropped;
    message.sender = WindowPeer { credentials.uid, credentials.gid, credentials.pid };

    auto deadline = Clock::now() + m_requestTimeout;
    std::uint8_t head[wp::HeaderSize];
    if (readExactly(peer.get(), head, sizeof head, deadline) != IoOutcome::Done)
        return ServeOutcome::Dropped;
    wp::Header header;
    if (wp::decodeHeader(head, header) != wp::HeaderCheck::Valid)
        return ServeOutcome::Dropped;
    message.kind = header.kind;
    message.parameter = header.parameter;
    message.data.resize(header.length);
    if (readExactly(peer.get(), message.data.data(), message.data.size(), deadline) != IoOutcome::Done)
        return ServeOutcome::Dropped;

    std::uint32_t answer = handler(message);
    if (message.kind == wp::Kind::CopyData) {
        // A sender that stopped waiting misses its answer; the message was handled.
        auto bytes = wp::encodeAnswer(answer);
        ignoreError(writeAll(peer.get(), bytes.data(), bytes.size(), Clock::now() + m_requestTimeout), "the sender stopped waiting; the message was handled all the same");
    }
    return ServeOutcome::Served;
}

} // namespace vz::platform
