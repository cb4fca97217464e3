#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vz {

// The record sent to the service window: 32-bit payload length, 32-bit command code,
// 32-bit zero, the payload, one zero byte; all little-endian; n + 13 bytes.
struct ServiceCommand {
    std::uint32_t code = 0;
    std::string payload;

    std::vector<std::uint8_t> encode() const;
    // Nothing for a record whose length field does not match its size.
    static std::optional<ServiceCommand> decode(const std::uint8_t* data, std::size_t size);
};

// The command codes.
namespace service_command {
inline constexpr std::uint32_t GuardOn = 1;
inline constexpr std::uint32_t GuardOff = 2;
inline constexpr std::uint32_t ScanFolder = 3;
inline constexpr std::uint32_t NotifyWindow = 4;
inline constexpr std::uint32_t SchedulesChanged = 5;
inline constexpr std::uint32_t ReleaseEngine = 6;
inline constexpr std::uint32_t ReloadEngine = 7;
inline constexpr std::uint32_t ScanMail = 8;
} // namespace service_command

// The title of the guard service's window.
inline constexpr std::string_view ServiceWindowTitle = "qelavsrvw";

// Windows are local endpoints found by their title. Sending data is synchronous and
// answers the receiver's 32-bit result; with no window of that title nothing is
// delivered and the answer is empty.
class WindowChannel {
public:
    virtual ~WindowChannel() = default;
    virtual std::optional<std::uint32_t> sendCopyData(std::string_view windowTitle, const std::vector<std::uint8_t>& data) = 0;
    // One-way command message (a menu or notice identifier); false when not delivered.
    virtual bool postCommand(std::string_view windowTitle, std::uint32_t commandId) = 0;
};

// Sends a command record to the service window: the service's answer, or 0 when no
// service window exists.
std::uint32_t SendServiceCommand(WindowChannel& channel, std::uint32_t code, std::string_view payload = {});

} // namespace vz
