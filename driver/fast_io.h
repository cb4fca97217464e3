#pragma once

#include "driver/nt_status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace vz::driver {

class Device;
class FileObject;
class Request;

// The platform's fast-I/O operations, in the order of its fast-I/O table.
enum class FastIoEntry : std::uint8_t {
    FastIoCheckIfPossible,
    FastIoRead,
    FastIoWrite,
    FastIoQueryBasicInfo,
    FastIoQueryStandardInfo,
    FastIoLock,
    FastIoUnlockSingle,
    FastIoUnlockAll,
    FastIoUnlockAllByKey,
    FastIoDeviceControl,
    AcquireFileForNtCreateSection,
    ReleaseFileForNtCreateSection,
    FastIoDetachDevice,
    FastIoQueryNetworkOpenInfo,
    AcquireForModWrite,
    MdlRead,
    MdlReadComplete,
    PrepareMdlWrite,
    MdlWriteComplete,
    FastIoReadCompressed,
    FastIoWriteCompressed,
    MdlReadCompleteCompressed,
    MdlWriteCompleteCompressed,
    FastIoQueryOpen,
    ReleaseForModWrite,
    AcquireForCcFlush,
    ReleaseForCcFlush,
};
inline constexpr std::size_t kFastIoEntryCount = 27;

// Where an entry sits in the platform's 32-bit table: a 32-bit size, then one pointer
// per entry. A lower table has an entry only when its declared size exceeds this.
constexpr std::uint32_t fastIoEntryOffset(FastIoEntry entry)
{
    return 4 + 4 * static_cast<std::uint32_t>(entry);
}
inline constexpr std::uint32_t kFullFastIoTableSize = 4 + 4 * kFastIoEntryCount;

struct IoStatusBlock {
    NtStatus Status = STATUS_SUCCESS;
    std::uintptr_t Information = 0;
};

// The arguments of one fast-I/O call. Every entry uses the fields its platform routine
// takes; forwarding passes the record on untouched, so the routine below sees exactly
// what the caller gave.
struct FastIoCall {
    FileObject* fileObject = nullptr;
    std::int64_t fileOffset = 0;
    std::uint32_t length = 0;
    bool wait = false;
    std::uint32_t lockKey = 0;
    bool checkForReadOperation = false;
    std::span<std::byte> buffer;
    std::uint32_t controlCode = 0;
    std::span<std::byte> inputBuffer;
    std::span<std::byte> outputBuffer;
    IoStatusBlock* ioStatus = nullptr;
    // FastIoQueryOpen: the open request being asked about.
    Request* request = nullptr;
    // FastIoDetachDevice: the device below the one being detached.
    Device* targetDevice = nullptr;
    // Entry-specific out data (information records, memory descriptor chains).
    void* extra = nullptr;
};

// One entry of a fast-I/O table. The answer is the routine's BOOLEAN (0 or 1), its
// status, or 0 for the entries that return nothing.
using FastIoRoutine = std::function<std::uint32_t(FastIoCall& call, Device* device)>;

struct FastIoDispatch {
    std::uint32_t SizeOfFastIoDispatch = kFullFastIoTableSize;
    std::array<FastIoRoutine, kFastIoEntryCount> routines{};
};

} // namespace vz::driver
