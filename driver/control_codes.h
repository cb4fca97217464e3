#pragma once

#include <cstddef>
#include <cstdint>

// The protocol between the guard service and the driver: control codes, the filter
// record and the verdict values. Whatever carries them, these stay byte for byte.
namespace vz::driver {

inline constexpr std::uint32_t kGuardDeviceType = 0x8300;
inline constexpr std::uint32_t METHOD_BUFFERED = 0;
inline constexpr std::uint32_t METHOD_NEITHER = 3;
inline constexpr std::uint32_t FILE_ANY_ACCESS = 0;

constexpr std::uint32_t guardControlCode(std::uint32_t function, std::uint32_t method)
{
    return (kGuardDeviceType << 16) | (FILE_ANY_ACCESS << 14) | (function << 2) | method;
}

constexpr std::uint32_t controlCodeMethod(std::uint32_t code)
{
    return code & 3u;
}

inline constexpr std::uint32_t IOCTL_GUARD_SET_DRIVES = guardControlCode(0, METHOD_BUFFERED);
inline constexpr std::uint32_t IOCTL_GUARD_OFF = guardControlCode(4, METHOD_BUFFERED);
inline constexpr std::uint32_t IOCTL_GUARD_ON = guardControlCode(5, METHOD_BUFFERED);
inline constexpr std::uint32_t IOCTL_GUARD_SET_FILTER = guardControlCode(6, METHOD_BUFFERED);
inline constexpr std::uint32_t IOCTL_GUARD_GET_VERSION = guardControlCode(7, METHOD_BUFFERED);
inline constexpr std::uint32_t IOCTL_GUARD_REGISTER_EVENTS = guardControlCode(8, METHOD_NEITHER);
inline constexpr std::uint32_t IOCTL_GUARD_RELEASE_EVENT = guardControlCode(9, METHOD_NEITHER);
inline constexpr std::uint32_t IOCTL_GUARD_ANSWER = guardControlCode(0x800, METHOD_NEITHER);
inline constexpr std::uint32_t IOCTL_GUARD_GET_REQUEST = guardControlCode(0x801, METHOD_NEITHER);
inline constexpr std::uint32_t IOCTL_GUARD_HOLD = guardControlCode(0x802, METHOD_NEITHER);

static_assert(IOCTL_GUARD_SET_DRIVES == 0x83000000);
static_assert(IOCTL_GUARD_OFF == 0x83000010);
static_assert(IOCTL_GUARD_ON == 0x83000014);
static_assert(IOCTL_GUARD_SET_FILTER == 0x83000018);
static_assert(IOCTL_GUARD_GET_VERSION == 0x8300001C);
static_assert(IOCTL_GUARD_REGISTER_EVENTS == 0x83000023);
static_assert(IOCTL_GUARD_RELEASE_EVENT == 0x83000027);
static_assert(IOCTL_GUARD_ANSWER == 0x83002003);
static_assert(IOCTL_GUARD_GET_REQUEST == 0x83002007);
static_assert(IOCTL_GUARD_HOLD == 0x8300200B);

inline constexpr std::uint32_t kGuardProtocolVersion = 100;

// Verdicts of IOCTL_GUARD_ANSWER. Any value not named here allows the open.
inline constexpr std::int32_t kVerdictRefuse = -1;
inline constexpr std::int32_t kVerdictNone = 0;
inline constexpr std::int32_t kVerdictAllow = 1;
inline constexpr std::int32_t kVerdictRefuseAndWait = 2;

// The buffers the service hands to IOCTL_GUARD_GET_REQUEST, each 256 bytes.
inline constexpr std::size_t kRequestBufferSize = 256;

// Input of IOCTL_GUARD_SET_FILTER: two NUL-terminated pattern texts and two flag bytes
// that are stored and not acted on.
struct DriverFilterRecord {
    char includeText[128];
    char excludeText[128];
    std::uint8_t firstFlag;
    std::uint8_t secondFlag;
};
static_assert(sizeof(DriverFilterRecord) == 258);
static_assert(offsetof(DriverFilterRecord, includeText) == 0);
static_assert(offsetof(DriverFilterRecord, excludeText) == 128);
static_assert(offsetof(DriverFilterRecord, firstFlag) == 256);
static_assert(offsetof(DriverFilterRecord, secondFlag) == 257);

// Names of the control device.
inline constexpr const char* kControlDeviceName = "\\Device\\QelAVMon";
inline constexpr const char* kControlDeviceLink = "\\DosDevices\\QelAVMon";

} // namespace vz::driver
