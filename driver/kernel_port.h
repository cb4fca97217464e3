#pragma once

#include "driver/fast_io.h"
#include "driver/nt_status.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The kernel as the guard driver's logic sees it. The logic is written against these
// classes only; one implementation maps them onto the Linux interception daemon
// (a volume is a marked mount, an open is a permission event, refusing a held open is
// a denial), another is the simulated kernel the tests drive.
namespace vz::driver {

struct FilterExtension;

// Device type of a network redirector's file objects.
inline constexpr std::uint32_t FILE_DEVICE_NETWORK_FILE_SYSTEM = 0x14;

// Create options the open handling looks at.
inline constexpr std::uint32_t FILE_NON_DIRECTORY_FILE = 0x40;
inline constexpr std::uint32_t FILE_OPEN_BY_FILE_ID = 0x2000;

// A device of the I/O system: one of this driver's (it carries a FilterExtension) or
// one of another driver's, such as a file system's volume device.
class Device {
public:
    virtual ~Device() = default;
    virtual std::uint32_t deviceType() const = 0;
    // This driver's record on its own devices; nullptr on any other driver's device.
    virtual FilterExtension* filterExtension() = 0;
    // The fast-I/O table of the device's driver, or nullptr when it has none.
    virtual const FastIoDispatch* fastIoDispatch() const = 0;
    // The device attached directly on top of this one, or nullptr.
    virtual Device* attachedDevice() const = 0;
};

// What the driver reads of an open file.
class FileObject {
public:
    virtual ~FileObject() = default;
    // False when the file object carries no name text.
    virtual bool hasName() const = 0;
    // The name converted to the system's ANSI code page; nullopt when conversion fails.
    virtual std::optional<std::string> ansiName() const = 0;
    // The file object a relative open is relative to, or nullptr.
    virtual FileObject* relatedFileObject() const = 0;
    // Type of the device the file object belongs to.
    virtual std::uint32_t deviceType() const = 0;
    // The file-system device that has mounted the file object's volume, or nullptr.
    virtual Device* volumeDevice() const = 0;
};

// The platform's process object as bytes, and the process id.
struct ProcessObject {
    std::span<const std::uint8_t> body;
    std::uint32_t id = 0;
};

// The platform's request kinds, in their numbering.
enum class MajorFunction : std::uint8_t {
    Create = 0,
    CreateNamedPipe,
    Close,
    Read,
    Write,
    QueryInformation,
    SetInformation,
    QueryEa,
    SetEa,
    FlushBuffers,
    QueryVolumeInformation,
    SetVolumeInformation,
    DirectoryControl,
    FileSystemControl,
    DeviceControl,
    InternalDeviceControl,
    Shutdown,
    LockControl,
    Cleanup,
    CreateMailslot,
    QuerySecurity,
    SetSecurity,
    Power,
    SystemControl,
    DeviceChange,
    QueryQuota,
    SetQuota,
    Pnp,
};
inline constexpr int kMajorFunctionCount = 28;

class Request;

// Called when the device below has finished a request passed down with it (success,
// error or cancellation) with the lower device's status and returned count. Returning
// STATUS_MORE_PROCESSING_REQUIRED keeps the request; anything else lets the platform
// complete it with the lower result.
using CompletionRoutine = std::function<NtStatus(Request& request, const IoStatusBlock& lowerResult)>;
// Called by the platform to cancel a request that carries it.
using CancelRoutine = std::function<void(Request& request)>;

// One I/O request.
class Request {
public:
    virtual ~Request() = default;
    virtual MajorFunction majorFunction() const = 0;

    // Opens: the file object, the options word (create disposition in the top 8 bits,
    // create options in the low 24) and the process doing the open.
    virtual FileObject* fileObject() = 0;
    virtual std::uint32_t createOptions() const = 0;
    virtual ProcessObject requestingProcess() const = 0;

    // Device control: the code, and the input and output buffers as the control device
    // handling resolves them (for buffered codes both are the one system buffer).
    virtual std::uint32_t controlCode() const = 0;
    virtual std::span<std::byte> inputBuffer() = 0;
    virtual std::span<std::byte> outputBuffer() = 0;

    // Copies the parameters to the next level and sends the request to `lower`;
    // returns the lower device's result.
    virtual NtStatus passDown(Device& lower) = 0;
    virtual NtStatus passDown(Device& lower, CompletionRoutine completion) = 0;
    // Finishes the request with a status and a returned count.
    virtual void complete(NtStatus status, std::uintptr_t information) = 0;
    virtual void markPending() = 0;
    virtual void setCancelRoutine(CancelRoutine routine) = 0;
    // Takes the cancel routine away again. False when the platform had already taken it
    // to cancel the request: the cancel routine then owns the request's completion.
    virtual bool clearCancelRoutine() = 0;

    // Moves the request to the level of `lower` for a call and back afterwards.
    virtual void moveToNextLevel(Device& lower) = 0;
    virtual void moveBackLevel() = 0;
};

// A referenced kernel object (an event).
class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// A system thread; its owner joins it when it goes.
class SystemThread {
public:
    virtual ~SystemThread() = default;
};

// What the platform calls in the driver: the one dispatch routine for every major
// function of every device, and the fast-I/O table.
class DriverEntryPoints {
public:
    virtual ~DriverEntryPoints() = default;
    virtual NtStatus dispatch(Device& device, Request& request) = 0;
    virtual std::uint32_t fastIo(FastIoEntry entry, FastIoCall& call, Device* device) = 0;
};

struct DeviceSpec {
    std::string name; // empty for an unnamed device
    std::uint32_t deviceType = 0;
    bool exclusive = false;
};

// An opened handle of the kernel (the root directory of a drive letter).
using KernelHandle = std::uint64_t;

class KernelPort {
public:
    virtual ~KernelPort() = default;

    // The process the driver's start runs in.
    virtual ProcessObject startProcess() = 0;

    // Makes a device that carries a zeroed FilterExtension; the device's marked
    // initialised when made.
    virtual NtStatus createDevice(const DeviceSpec& spec, Device*& created) = 0;
    virtual void deleteDevice(Device& device) = 0;
    virtual NtStatus createSymbolicLink(std::string_view link, std::string_view deviceName) = 0;
    virtual void deleteSymbolicLink(std::string_view link) = 0;
    virtual void installEntryPoints(DriverEntryPoints& entryPoints) = 0;

    // Puts `filter` on top of `target`'s stack.
    virtual NtStatus attachDevice(Device& filter, Device& target) = 0;
    // Detaches whatever is attached on top of `lower`.
    virtual void detachDevice(Device& lower) = 0;

    // Opens a directory by its kernel path ("\DosDevices\C:\"), case-insensitive, for
    // synchronisation only, shared for reading and writing, open-existing.
    virtual NtStatus openDirectory(std::string_view path, KernelHandle& handle) = 0;
    // The device on top of the stack of the opened directory's volume, found through
    // a reference to its file object; nullptr when either cannot be had.
    virtual Device* topDeviceOf(KernelHandle handle) = 0;
    virtual void closeHandle(KernelHandle handle) = 0;

    // Has the file system below clean up and close an open it has already performed.
    virtual void cancelFileOpen(Device& lower, FileObject& file) = 0;

    // Events handed over by the service, named by 32-bit handles. nullptr when the
    // handle names no object.
    virtual KernelObject* referenceObject(std::uint32_t handle) = 0;
    virtual void dereferenceObject(KernelObject& object) = 0;
    virtual void setEvent(KernelObject& event) = 0;

    virtual NtStatus startSystemThread(std::function<void()> body, std::unique_ptr<SystemThread>& thread) = 0;
    virtual void setCurrentThreadPriority(int priority) = 0;

    // Memory of the driver's pools; nullptr when the pool cannot give it.
    virtual void* allocatePool(std::size_t size, std::uint32_t tag) = 0;
    virtual void freePool(void* block, std::uint32_t tag) = 0;
};

// Pool tags, in the platform's byte order ("Film" reads as the four letters in memory).
constexpr std::uint32_t poolTag(const char (&text)[5])
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0]))
        | static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 8
        | static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 16
        | static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])) << 24;
}
inline constexpr std::uint32_t kNamePoolTag = poolTag("Film");
inline constexpr std::uint32_t kDriverPoolTag = poolTag("Ddk ");

} // namespace vz::driver
