#include "driver/guard_driver.h"

#include "driver/filter_extension.h"
#include "driver/process_tag.h"

namespace vz::driver {

GuardDriver::GuardDriver(KernelPort& port, TickSource& ticks)
    : m_port(port)
    , m_state(port)
    , m_volumes(port)
    , m_interception(port, ticks, m_state)
    , m_handler(m_state, m_volumes, m_interception, ticks)
{
}

GuardDriver::~GuardDriver()
{
    stop();
}

NtStatus GuardDriver::start()
{
    Device* control = nullptr;
    NtStatus status = m_port.createDevice(DeviceSpec { kControlDeviceName, kGuardDeviceType, true }, control);
    if (!isSuccess(status))
        return status;
    control->filterExtension()->Type = kControlDeviceType;

    status = m_port.createSymbolicLink(kControlDeviceLink, kControlDeviceName);
    if (!isSuccess(status)) {
        m_port.deleteDevice(*control);
        return status;
    }

    m_state.imageNameOffset = findImageNameOffset(m_port.startProcess());

    // Started here rather than by the first held open, so a held open never waits for
    // a worker that could not be started.
    status = m_interception.startHoldWorker();
    if (!isSuccess(status)) {
        m_port.deleteSymbolicLink(kControlDeviceLink);
        m_port.deleteDevice(*control);
        return status;
    }

    m_controlDevice = control;
    m_port.installEntryPoints(*this);
    return STATUS_SUCCESS;
}

void GuardDriver::stop()
{
    m_interception.stop();
}

NtStatus GuardDriver::dispatch(Device& device, Request& request)
{
    FilterExtension* extension = device.filterExtension();
    if (extension == nullptr) {
        request.complete(STATUS_INVALID_DEVICE_REQUEST, 0);
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (extension->Type == kControlDeviceType)
        return controlDeviceRequest(request);
    if (request.majorFunction() == MajorFunction::Create)
        return m_interception.handleOpen(*extension, request);
    return request.passDown(*extension->LowerDevice);
}

NtStatus GuardDriver::controlDeviceRequest(Request& request)
{
    NtStatus status = STATUS_SUCCESS;
    std::uint32_t returned = 0;
    switch (request.majorFunction()) {
    case MajorFunction::Create:
        break;
    case MajorFunction::Close:
        // The service has let go: no volume is intercepted any more.
        m_volumes.setDrives(0);
        break;
    case MajorFunction::DeviceControl:
        status = m_handler.handle(request.controlCode(), request.inputBuffer(), request.outputBuffer(), returned);
        break;
    default:
        break;
    }
    request.complete(status, returned);
    return status;
}

std::uint32_t GuardDriver::forwardFastIo(FastIoEntry entry, FastIoCall& call, Device* device, std::uint32_t notForwarded)
{
    if (device == nullptr)
        return notForwarded;
    FilterExtension* extension = device->filterExtension();
    if (extension == nullptr || extension->Type != kVolumeFilterType || extension->LowerDevice == nullptr)
        return notForwarded;
    Device* lower = extension->LowerDevice;
    const FastIoDispatch* table = lower->fastIoDispatch();
    if (table == nullptr || table->SizeOfFastIoDispatch <= fastIoEntryOffset(entry))
        return notForwarded;
    const FastIoRoutine& routine = table->routines[static_cast<std::size_t>(entry)];
    if (!routine)
        return notForwarded;
    if (entry != FastIoEntry::FastIoQueryOpen)
        return routine(call, lower);
    // The query-open routine below sees the request at its own level.
    call.request->moveToNextLevel(*lower);
    const std::uint32_t result = routine(call, lower);
    call.request->moveBackLevel();
    return result;
}

std::uint32_t GuardDriver::sectionFastIo(FastIoEntry entry, FastIoCall& call)
{
    if (call.fileObject == nullptr)
        return 0;
    // From the file system's device up the chain of attached devices to this driver's.
    for (Device* device = call.fileObject->volumeDevice(); device != nullptr; device = device->attachedDevice()) {
        if (device->filterExtension() != nullptr)
            return forwardFastIo(entry, call, device, 0);
    }
    return 0;
}

std::uint32_t GuardDriver::fastIo(FastIoEntry entry, FastIoCall& call, Device* device)
{
    constexpr std::uint32_t kFalse = 0;
    constexpr std::uint32_t kTrue = 1;
    switch (entry) {
    case FastIoEntry::FastIoDeviceControl: {
        FilterExtension* extension = device != nullptr ? device->filterExtension() : nullptr;
        if (extension == nullptr || extension->Type != kControlDeviceType)
            return forwardFastIo(entry, call, device, kFalse);
        std::uint32_t returned = 0;
        const NtStatus status = m_handler.handle(call.controlCode, call.inputBuffer, call.outputBuffer, returned);
        if (call.ioStatus != nullptr) {
            call.ioStatus->Status = status;
            call.ioStatus->Information = returned;
        }
        return kTrue;
    }
    case FastIoEntry::AcquireFileForNtCreateSection:
    case FastIoEntry::ReleaseFileForNtCreateSection:
        return sectionFastIo(entry, call);
    case FastIoEntry::FastIoDetachDevice:
        if (device != nullptr && call.targetDevice != nullptr && m_volumes.detachIfServing(*device, *call.targetDevice))
            return 0;
        return forwardFastIo(entry, call, device, 0);
    case FastIoEntry::AcquireForModWrite:
    case FastIoEntry::ReleaseForModWrite:
    case FastIoEntry::AcquireForCcFlush:
    case FastIoEntry::ReleaseForCcFlush:
        return forwardFastIo(entry, call, device, STATUS_NOT_IMPLEMENTED);
    default:
        return forwardFastIo(entry, call, device, kFalse);
    }
}

GuardDriver::Snapshot GuardDriver::snapshot() const
{
    Snapshot s;
    s.readyFlag = m_state.readyFlag.load();
    s.holdFlag = m_state.holdFlag.load();
    s.verdict = m_state.verdict.load();
    s.createOptionsWord = m_state.createOptionsWord.load();
    s.requestName = m_state.slots.requestName();
    s.processTag = m_state.slots.processTag();
    s.lastExaminedName = m_state.slots.lastExaminedName();
    s.lastRefusedName = m_state.slots.lastRefusedName();
    s.driveMask = m_volumes.driveMask();
    s.heldOpens = m_state.holdQueue.count();
    s.imageNameOffset = m_state.imageNameOffset;
    s.requestEventRegistered = m_state.events.hasRequestEvent();
    s.includePatterns = m_state.patterns.includePatterns();
    s.excludePatterns = m_state.patterns.excludePatterns();
    {
        std::lock_guard lock(m_state.filterRecordLock);
        s.filterRecord = m_state.filterRecord;
    }
    return s;
}

} // namespace vz::driver
