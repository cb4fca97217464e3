#pragma once

#include <cstdint>

// The status values the driver returns and sees. They keep their platform values,
// because the control protocol carries them to the guard service unchanged.
namespace vz::driver {

using NtStatus = std::uint32_t;

inline constexpr NtStatus STATUS_SUCCESS = 0x00000000;
inline constexpr NtStatus STATUS_PENDING = 0x00000103;
inline constexpr NtStatus STATUS_UNSUCCESSFUL = 0xC0000001;
inline constexpr NtStatus STATUS_NOT_IMPLEMENTED = 0xC0000002;
inline constexpr NtStatus STATUS_INVALID_DEVICE_REQUEST = 0xC0000010;
inline constexpr NtStatus STATUS_NO_MEDIA_IN_DEVICE = 0xC0000013;
inline constexpr NtStatus STATUS_MORE_PROCESSING_REQUIRED = 0xC0000016;
inline constexpr NtStatus STATUS_ACCESS_DENIED = 0xC0000022;
inline constexpr NtStatus STATUS_BUFFER_TOO_SMALL = 0xC0000023;
inline constexpr NtStatus STATUS_OBJECT_NAME_INVALID = 0xC0000033;
inline constexpr NtStatus STATUS_OBJECT_NAME_NOT_FOUND = 0xC0000034;
inline constexpr NtStatus STATUS_OBJECT_NAME_COLLISION = 0xC0000035;
inline constexpr NtStatus STATUS_INSUFFICIENT_RESOURCES = 0xC000009A;
inline constexpr NtStatus STATUS_CANCELLED = 0xC0000120;

// Success and informational values have the top bit clear.
constexpr bool isSuccess(NtStatus status)
{
    return (status & 0x80000000u) == 0;
}

} // namespace vz::driver
