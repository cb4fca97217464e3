#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

// The wire protocol between a window channel and a window endpoint. One connection
// carries one message:
//   request: magic "VZWM", kind, parameter, data length (four little-endian u32), data
//   answer (copy data only): magic "VZWA", answer (two little-endian u32)
// A command message is one-way: the sender closes after its request.
namespace vz::platform::window_protocol {

inline constexpr std::uint32_t RequestMagic = 0x4D575A56; // "VZWM"
inline constexpr std::uint32_t AnswerMagic = 0x41575A56;  // "VZWA"
inline constexpr std::size_t HeaderSize = 16;
inline constexpr std::size_t AnswerSize = 8;
// Nothing the system sends comes near it; a larger length marks a broken sender.
inline constexpr std::uint32_t MaxDataSize = 1u << 20;

enum class Kind : std::uint32_t {
    CopyData = 1, // synchronous: data in, 32-bit answer out
    Command = 2,  // one-way: the parameter is the command identifier, no data
};

struct Header {
    Kind kind = Kind::CopyData;
    std::uint32_t parameter = 0;
    std::uint32_t length = 0;
};

std::vector<std::uint8_t> encodeRequest(Kind kind, std::uint32_t parameter, const std::vector<std::uint8_t>& data);
std::vector<std::uint8_t> encodeAnswer(std::uint32_t answer);

enum class HeaderCheck { Valid, BadMagic, BadKind, TooLarge, DataOnCommand };
HeaderCheck decodeHeader(const std::uint8_t* bytes, Header& out);
// The answer of a valid answer record; false for anything else.
bool decodeAnswer(const std::uint8_t* bytes, std::uint32_t& answer);

} // namespace vz::platform::window_protocol

namespace vz::platform {

enum class IoOutcome { Done, EndOfStream, TimedOut, Failed };

// Reads exactly `size` bytes from a stream socket; short reads are continued, a peer
// that closes early gives EndOfStream. The deadline bounds the whole read.
IoOutcome readExactly(int fd, std::uint8_t* data, std::size_t size, std::chrono::steady_clock::time_point deadline);
// Writes all bytes without raising SIGPIPE when the peer is gone.
IoOutcome writeAll(int fd, const std::uint8_t* data, std::size_t size, std::chrono::steady_clock::time_point deadline);

} // namespace vz::platform
