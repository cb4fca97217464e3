#pragma once

#include "driver/fast_io.h"
#include "driver/filter_extension.h"
#include "driver/kernel_port.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A kernel held in memory: volumes with file systems and fast-I/O tables, drive letters,
// device stacks, file objects with names and related file objects, network volumes,
// processes, events, pools, system threads and cancellation. It implements the kernel
// port, and gives tests the other side: programs opening files, the service's control
// calls, the platform tearing a volume down.
namespace vz::driver::sim {

inline constexpr std::uint32_t FILE_DEVICE_DISK_FILE_SYSTEM = 0x08;
inline constexpr std::uint32_t FILE_OPEN = 1;
inline constexpr std::uintptr_t FILE_OPENED = 1;
// Where the simulated process objects keep the image name.
inline constexpr std::uint32_t kSimImageNameOffset = 0x174;
inline constexpr std::size_t kSimProcessObjectSize = 0x3000;

class SimulatedKernel;
struct SimVolume;

class SimDevice final : public Device {
public:
    std::uint32_t deviceType() const override { return type; }
    FilterExtension* filterExtension() override { return ours ? &extension : nullptr; }
    const FastIoDispatch* fastIoDispatch() const override { return fastIo; }
    Device* attachedDevice() const override { return attachedTop; }

    std::string name;
    std::uint32_t type = 0;
    bool ours = false;
    bool exclusive = false;
    bool deleted = false;
    FilterExtension extension;
    const FastIoDispatch* fastIo = nullptr;
    SimDevice* attachedTop = nullptr;
    SimDevice* attachedTo = nullptr;
    SimVolume* volume = nullptr; // the file system's volume device only
};

class SimFileObject final : public FileObject {
public:
    bool hasName() const override { return !name.empty(); }
    std::optional<std::string> ansiName() const override;
    FileObject* relatedFileObject() const override { return related.get(); }
    std::uint32_t deviceType() const override { return type; }
    Device* volumeDevice() const override { return volume; }

    std::string name;
    // The name has characters the code page cannot hold: conversion fails.
    bool unconvertible = false;
    std::shared_ptr<SimFileObject> related;
    std::uint32_t type = FILE_DEVICE_DISK_FILE_SYSTEM;
    SimDevice* volume = nullptr;
};

struct SimProcess {
    std::vector<std::uint8_t> body;
    std::uint32_t id = 0;
};
// A process object with `imageName` at kSimImageNameOffset.
SimProcess makeProcess(const std::string& imageName, std::uint32_t id);

// One fast-I/O call as the file system's own routine received it.
struct FastIoRecord {
    FastIoEntry entry;
    Device* device = nullptr;
    FastIoCall* call = nullptr;
    // FastIoQueryOpen: the device the request's level named during the call.
    Device* requestLevelDevice = nullptr;
};

// A volume and its file system.
struct SimVolume {
    std::string label;
    SimDevice* fileSystemDevice = nullptr;
    FastIoDispatch fastIo;
    bool network = false;
    bool noMedium = false;
    // Opens the file system fails, by name.
    std::map<std::string, NtStatus> failingNames;
    // Filled by the file system and the driver's calls.
    std::vector<std::string> opened;
    std::vector<std::string> cancelledOpens;
    std::vector<MajorFunction> passedThrough;
    std::vector<FastIoRecord> fastIoCalls;
    // The answer of every fast-I/O routine of this file system.
    std::uint32_t fastIoAnswer = 1;
};

// What a volume's file system has seen, copied at one moment.
struct VolumeLog {
    std::vector<std::string> opened;
    std::vector<std::string> cancelledOpens;
    std::vector<MajorFunction> passedThrough;
    std::vector<FastIoRecord> fastIoCalls;
};

class SimRequest final : public Request, public std::enable_shared_from_this<SimRequest> {
public:
    SimRequest(SimulatedKernel& kernel, MajorFunction major) : m_kernel(kernel), m_major(major) {}

    MajorFunction majorFunction() const override { return m_major; }
    FileObject* fileObject() override { return file.get(); }
    std::uint32_t createOptions() const override { return options; }
    ProcessObject requestingProcess() const override { return { process.body, process.id }; }
    std::uint32_t controlCode() const override { return code; }
    std::span<std::byte> inputBuffer() override { return input; }
    std::span<std::byte> outputBuffer() override { return output; }

    NtStatus passDown(Device& lower) override;
    NtStatus passDown(Device& lower, CompletionRoutine completion) override;
    void complete(NtStatus status, std::uintptr_t information) override;
    void markPending() override { m_pending.store(true); }
    void setCancelRoutine(CancelRoutine routine) override;
    bool clearCancelRoutine() override;
    void moveToNextLevel(Device& lower) override;
    void moveBackLevel() override;

    // The platform's side.
    void lowerFinished(NtStatus status, std::uintptr_t information);
    // Cancels the request as the platform does when the opening thread ends; false
    // when it carries no cancel routine.
    bool cancel();
    // Blocks until the request has been completed; returns its status.
    NtStatus wait();
    bool completed() const;
    NtStatus status() const;
    std::uintptr_t information() const;
    bool pendingMarked() const { return m_pending.load(); }
    int completions() const;
    Device* currentLevel() const;

    std::shared_ptr<SimFileObject> file;
    std::uint32_t options = 0;
    SimProcess process;
    std::uint32_t code = 0;
    std::span<std::byte> input;
    std::span<std::byte> output;

private:
    SimulatedKernel& m_kernel;
    MajorFunction m_major;
    mutable std::mutex m_lock;
    std::condition_variable m_done;
    int m_completions = 0;
    NtStatus m_status = STATUS_PENDING;
    std::uintptr_t m_information = 0;
    std::atomic<bool> m_pending { false };
    CompletionRoutine m_completion;
    CancelRoutine m_cancel;
    std::vector<Device*> m_levels;
};

// What a program asks for when it opens a file.
struct OpenSpec {
    std::string name;
    std::uint32_t options = (FILE_OPEN << 24) | FILE_NON_DIRECTORY_FILE;
    std::shared_ptr<SimFileObject> related;
    bool unconvertible = false;
    SimProcess process;
};

struct ControlResult {
    NtStatus status = STATUS_PENDING;
    std::uint32_t returned = 0;
};

enum class ControlPath { Dispatch, FastIo };

class SimulatedKernel final : public KernelPort {
public:
    SimulatedKernel();
    ~SimulatedKernel() override;
    SimulatedKernel(const SimulatedKernel&) = delete;
    SimulatedKernel& operator=(const SimulatedKernel&) = delete;

    // The KernelPort.
    ProcessObject startProcess() override;
    NtStatus createDevice(const DeviceSpec& spec, Device*& created) override;
    void deleteDevice(Device& device) override;
    NtStatus createSymbolicLink(std::string_view link, std::string_view deviceName) override;
    void deleteSymbolicLink(std::string_view link) override;
    void installEntryPoints(DriverEntryPoints& entryPoints) override;
    NtStatus attachDevice(Device& filter, Device& target) override;
    void detachDevice(Device& lower) override;
    NtStatus openDirectory(std::string_view path, KernelHandle& handle) override;
    Device* topDeviceOf(KernelHandle handle) override;
    void closeHandle(KernelHandle handle) override;
    void cancelFileOpen(Device& lower, FileObject& file) override;
    KernelObject* referenceObject(std::uint32_t handle) override;
    void dereferenceObject(KernelObject& object) override;
    void setEvent(KernelObject& event) override;
    NtStatus startSystemThread(std::function<void()> body, std::unique_ptr<SystemThread>& thread) override;
    void setCurrentThreadPriority(int priority) override;
    void* allocatePool(std::size_t size, std::uint32_t tag) override;
    void freePool(void* block, std::uint32_t tag) override;

    // Volumes and drive letters.
    SimVolume& addVolume(const std::string& label, bool network = false);
    void assignLetter(char letter, SimVolume& volume);
    // Tears the volume down: the platform asks the device on top of its file system to
    // detach; then the file system goes.
    void dismount(SimVolume& volume);
    Device* topOfStack(SimVolume& volume);
    VolumeLog volumeLog(const SimVolume& volume) const;

    // Programs opening files. beginOpen returns once the open's dispatch has returned;
    // the request tells when it is finished.
    std::shared_ptr<SimRequest> beginOpen(char letter, OpenSpec spec);
    NtStatus open(char letter, OpenSpec spec);
    std::shared_ptr<SimFileObject> makeFileObject(char letter, const std::string& name);
    // Any other request at the top of a letter's stack.
    NtStatus sendRequest(char letter, MajorFunction major);
    std::uint32_t fastIo(char letter, FastIoEntry entry, FastIoCall& call);
    // A call the platform makes with a file object only (the section entries).
    std::uint32_t fastIoForFile(FastIoEntry entry, FastIoCall& call);

    // The service's side of the control device.
    NtStatus openControlDevice();
    NtStatus closeControlDevice();
    ControlResult deviceControl(std::uint32_t code, std::span<std::byte> input, std::span<std::byte> output, ControlPath path = ControlPath::Dispatch);
    NtStatus sendControlDeviceRequest(MajorFunction major);

    // Events the service creates; auto-reset.
    std::uint32_t createEvent();
    // Waits until the event is set and resets it.
    void waitEvent(std::uint32_t handle);
    bool tryWaitEvent(std::uint32_t handle);
    // Sets the event as its owner would (to wake a waiter).
    void signalEvent(std::uint32_t handle);
    int eventSetCount(std::uint32_t handle) const;
    int eventReferences(std::uint32_t handle) const;

    // Faults to inject.
    NtStatus controlDeviceFailure = STATUS_SUCCESS;
    NtStatus symbolicLinkFailure = STATUS_SUCCESS;
    NtStatus filterDeviceFailure = STATUS_SUCCESS;
    NtStatus attachFailure = STATUS_SUCCESS;
    NtStatus threadStartFailure = STATUS_SUCCESS;
    std::set<char> lettersWithoutTopDevice;
    std::set<std::uint32_t> failingPoolTags;
    // The file system finishes opens on a thread of its own instead of the caller's.
    bool completeOnFileSystemThread = false;
    // The start process carries "System" at kSimImageNameOffset unless cleared.
    bool startProcessNamed = true;

    // What happened.
    int devicesCreated() const;
    int devicesLive() const;
    bool linkExists(const std::string& link) const;
    int openRootHandles() const;
    int systemThreadsStarted() const;
    int lastThreadPriority() const;
    std::size_t poolBlocksInUse(std::uint32_t tag) const;
    SimDevice* namedDevice(const std::string& name) const;

    // Called by requests.
    NtStatus callDriver(Device& target, SimRequest& request);

private:
    struct SimEvent;
    class SimThread;

    SimVolume* volumeOfLetter(char letter) const;
    NtStatus fileSystemRequest(SimVolume& volume, SimRequest& request);
    void runOnFileSystemThread(std::function<void()> work);

    mutable std::mutex m_lock;
    std::condition_variable m_eventSet;
    std::vector<std::unique_ptr<SimDevice>> m_devices;
    std::vector<std::unique_ptr<SimVolume>> m_volumes;
    std::map<char, SimVolume*> m_letters;
    std::set<std::string> m_links;
    std::map<KernelHandle, SimVolume*> m_rootHandles;
    KernelHandle m_nextHandle = 1;
    std::map<std::uint32_t, std::unique_ptr<SimEvent>> m_events;
    std::uint32_t m_nextEvent = 0x100;
    std::map<std::uint32_t, std::size_t> m_poolInUse;
    std::vector<std::thread> m_fileSystemThreads;
    DriverEntryPoints* m_entryPoints = nullptr;
    SimProcess m_startProcess;
    int m_devicesCreated = 0;
    int m_threadsStarted = 0;
    int m_lastPriority = 0;
    bool m_controlOpen = false;
};

} // namespace vz::driver::sim
