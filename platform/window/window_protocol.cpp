#include "platform/window/window_protocol.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace vz::platform::window_protocol {

namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t getU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16
        | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

std::vector<std::uint8_t> encodeRequest(Kind kind, std::uint32_t parameter, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> out;
    out.reserve(HeaderSize + data.size());
    putU32(out, RequestMagic);
    putU32(out, static_cast<std::uint32_t>(kind));
    putU32(out, parameter);
    putU32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<std::uint8_t> encodeAnswer(std::uint32_t answer)
{
    std::vector<std::uint8_t> out;
    putU32(out, AnswerMagic);
    putU32(out, answer);
    return out;
}

HeaderCheck decodeHeader(const std::uint8_t* bytes, Header& out)
{
    if (getU32(bytes) != RequestMagic)
        return HeaderCheck::BadMagic;
    std::uint32_t kind = getU32(bytes + 4);
    if (kind != static_cast<std::uint32_t>(Kind::CopyData) && kind != static_cast<std::uint32_t>(Kind::Command))
        return HeaderCheck::BadKind;
    out.kind = static_cast<Kind>(kind);
    out.parameter = getU32(bytes + 8);
    out.length = getU32(bytes + 12);
    if (out.length > MaxDataSize)
        return HeaderCheck::TooLarge;
    if (out.kind == Kind::Command && out.length != 0)
        return HeaderCheck::DataOnCommand;
    return HeaderCheck::Valid;
}

bool decodeAnswer(const std::uint8_t* bytes, std::uint32_t& answer)
{
    if (getU32(bytes) != AnswerMagic)
        return false;
    answer = getU32(bytes + 4);
    return true;
}

} // namespace vz::platform::window_protocol

namespace vz::platform {

namespace {

// Waits until the socket is ready for `events` or the deadline passes.
IoOutcome waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return IoOutcome::TimedOut;
        pollfd p { fd, events, 0 };
        int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count() + 1, 60'000)));
        if (ready > 0)
            return IoOutcome::Done;
        if (ready < 0 && errno != EINTR)
            return IoOutcome::Failed;
    }
}

} // namespace

IoOutcome readExactly(int fd, std::uint8_t* data, std::size_t size, std::chrono::steady_clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::recv(fd, data + done, size - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0)
            return IoOutcome::EndOfStream;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno == ECONNRESET ? IoOutcome::EndOfStream : IoOutcome::Failed;
        if (IoOutcome waited = waitFor(fd, POLLIN, deadline); waited != IoOutcome::Done)
            return waited;
    }
    return IoOutcome::Done;
}

IoOutcome writeAll(int fd, const std::uint8_t* data, std::size_t size, std::chrono::steady_clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::send(fd, data + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return (errno == EPIPE || errno == ECONNRESET) ? IoOutcome::EndOfStream : IoOutcome::Failed;
        if (IoOutcome waited = waitFor(fd, POLLOUT, deadline); waited != IoOutcome::Done)
            return waited;
    }
    return IoOutcome::Done;
}

} // namespace vz::platform
