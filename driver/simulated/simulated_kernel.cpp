#include "driver/simulated/simulated_kernel.h"

#include "driver/control_codes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vz::driver::sim {

struct SimulatedKernel::SimEvent final : public KernelObject {
    int sets = 0;
    bool signalled = false;
    int references = 0;
};

class SimulatedKernel::SimThread final : public SystemThread {
public:
    explicit SimThread(std::function<void()> body) : m_thread(std::move(body)) {}
    ~SimThread() override
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};

std::optional<std::string> SimFileObject::ansiName() const
{
    if (unconvertible)
        return std::nullopt;
    return name;
}

SimProcess makeProcess(const std::string& imageName, std::uint32_t id)
{
    SimProcess process;
    process.body.assign(kSimProcessObjectSize, 0);
    std::memcpy(process.body.data() + kSimImageNameOffset, imageName.data(), std::min<std::size_t>(imageName.size(), 16));
    process.id = id;
    return process;
}

// Requests.

NtStatus SimRequest::passDown(Device& lower)
{
    return m_kernel.callDriver(lower, *this);
}

NtStatus SimRequest::passDown(Device& lower, CompletionRoutine completion)
{
    {
        std::lock_guard lock(m_lock);
        m_completion = std::move(completion);
    }
    return m_kernel.callDriver(lower, *this);
}

void SimRequest::complete(NtStatus status, std::uintptr_t information)
{
    std::lock_guard lock(m_lock);
    if (++m_completions == 1) {
        m_status = status;
        m_information = information;
    }
    m_done.notify_all();
}

void SimRequest::setCancelRoutine(CancelRoutine routine)
{
    std::lock_guard lock(m_lock);
    m_cancel = std::move(routine);
}

bool SimRequest::clearCancelRoutine()
{
    std::lock_guard lock(m_lock);
    const bool had = static_cast<bool>(m_cancel);
    m_cancel = nullptr;
    return had;
}

void SimRequest::moveToNextLevel(Device& lower)
{
    std::lock_guard lock(m_lock);
    m_levels.push_back(&lower);
}

void SimRequest::moveBackLevel()
{
    std::lock_guard lock(m_lock);
    if (!m_levels.empty())
        m_levels.pop_back();
}

Device* SimRequest::currentLevel() const
{
    std::lock_guard lock(m_lock);
    return m_levels.empty() ? nullptr : m_levels.back();
}

void SimRequest::lowerFinished(NtStatus status, std::uintptr_t information)
{
    CompletionRoutine completion;
    {
        std::lock_guard lock(m_lock);
        completion = std::move(m_completion);
        m_completion = nullptr;
    }
    if (completion && completion(*this, IoStatusBlock { status, information }) == STATUS_MORE_PROCESSING_REQUIRED)
        return;
    complete(status, information);
}

bool SimRequest::cancel()
{
    CancelRoutine routine;
    {
        std::lock_guard lock(m_lock);
        if (m_completions > 0)
            return false;
        routine = std::move(m_cancel);
        m_cancel = nullptr;
    }
    if (!routine)
        return false;
    routine(*this);
    return true;
}

NtStatus SimRequest::wait()
{
    std::unique_lock lock(m_lock);
    m_done.wait(lock, [this] { return m_completions > 0; });
    return m_status;
}

bool SimRequest::completed() const
{
    std::lock_guard lock(m_lock);
    return m_completions > 0;
}

NtStatus SimRequest::status() const
{
    std::lock_guard lock(m_lock);
    return m_status;
}

std::uintptr_t SimRequest::information() const
{
    std::lock_guard lock(m_lock);
    return m_information;
}

int SimRequest::completions() const
{
    std::lock_guard lock(m_lock);
    return m_completions;
}

// The kernel.

SimulatedKernel::SimulatedKernel() = default;

SimulatedKernel::~SimulatedKernel()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_lock);
        threads.swap(m_fileSystemThreads);
    }
    for (std::thread& thread : threads)
        thread.join();
}

ProcessObject SimulatedKernel::startProcess()
{
    std::lock_guard lock(m_lock);
    m_startProcess = makeProcess(startProcessNamed ? "System" : "Idle", 4);
    return { m_startProcess.body, m_startProcess.id };
}

NtStatus SimulatedKernel::createDevice(const DeviceSpec& spec, Device*& created)
{
    std::lock_guard lock(m_lock);
    created = nullptr;
    if (!spec.name.empty() && !isSuccess(controlDeviceFailure))
        return controlDeviceFailure;
    if (spec.name.empty() && !isSuccess(filterDeviceFailure))
        return filterDeviceFailure;
    if (!spec.name.empty()) {
        for (const auto& device : m_devices) {
            if (device->name == spec.name && !device->deleted)
                return STATUS_OBJECT_NAME_COLLISION;
        }
    }
    auto device = std::make_unique<SimDevice>();
    device->name = spec.name;
    device->type = spec.deviceType;
    device->exclusive = spec.exclusive;
    device->ours = true;
    created = device.get();
    m_devices.push_back(std::move(device));
    ++m_devicesCreated;
    return STATUS_SUCCESS;
}

void SimulatedKernel::deleteDevice(Device& device)
{
    std::lock_guard lock(m_lock);
    auto& sim = static_cast<SimDevice&>(device);
    sim.deleted = true;
}

NtStatus SimulatedKernel::createSymbolicLink(std::string_view link, std::string_view)
{
    std::lock_guard lock(m_lock);
    if (!isSuccess(symbolicLinkFailure))
        return symbolicLinkFailure;
    if (!m_links.insert(std::string(link)).second)
        return STATUS_OBJECT_NAME_COLLISION;
    return STATUS_SUCCESS;
}

void SimulatedKernel::deleteSymbolicLink(std::string_view link)
{
    std::lock_guard lock(m_lock);
    m_links.erase(std::string(link));
}

void SimulatedKernel::installEntryPoints(DriverEntryPoints& entryPoints)
{
    std::lock_guard lock(m_lock);
    m_entryPoints = &entryPoints;
}

NtStatus SimulatedKernel::attachDevice(Device& filter, Device& target)
{
    std::lock_guard lock(m_lock);
    if (!isSuccess(attachFailure))
        return attachFailure;
    auto* top = static_cast<SimDevice*>(&target);
    while (top->attachedTop != nullptr)
        top = top->attachedTop;
    auto& sim = static_cast<SimDevice&>(filter);
    top->attachedTop = &sim;
    sim.attachedTo = top;
    return STATUS_SUCCESS;
}

void SimulatedKernel::detachDevice(Device& lower)
{
    std::lock_guard lock(m_lock);
    auto& sim = static_cast<SimDevice&>(lower);
    if (sim.attachedTop != nullptr) {
        sim.attachedTop->attachedTo = nullptr;
        sim.attachedTop = nullptr;
    }
}

NtStatus SimulatedKernel::openDirectory(std::string_view path, KernelHandle& handle)
{
    static constexpr std::string_view kPrefix = "\\DosDevices\\";
    if (path.size() != kPrefix.size() + 3 || path.substr(0, kPrefix.size()) != kPrefix || path.substr(kPrefix.size() + 1) != ":\\")
        return STATUS_OBJECT_NAME_INVALID;
    char letter = path[kPrefix.size()];
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    std::lock_guard lock(m_lock);
    auto found = m_letters.find(letter);
    if (found == m_letters.end())
        return STATUS_OBJECT_NAME_NOT_FOUND;
    if (found->second->noMedium)
        return STATUS_NO_MEDIA_IN_DEVICE;
    handle = m_nextHandle++;
    m_rootHandles[handle] = found->second;
    if (lettersWithoutTopDevice.count(letter) != 0)
        m_rootHandles[handle] = nullptr;
    return STATUS_SUCCESS;
}

Device* SimulatedKernel::topDeviceOf(KernelHandle handle)
{
    SimVolume* volume = nullptr;
    {
        std::lock_guard lock(m_lock);
        auto found = m_rootHandles.find(handle);
        if (found == m_rootHandles.end() || found->second == nullptr)
            return nullptr;
        volume = found->second;
    }
    return topOfStack(*volume);
}

void SimulatedKernel::closeHandle(KernelHandle handle)
{
    std::lock_guard lock(m_lock);
    m_rootHandles.erase(handle);
}

void SimulatedKernel::cancelFileOpen(Device& lower, FileObject& file)
{
    std::lock_guard lock(m_lock);
    auto& device = static_cast<SimDevice&>(lower);
    auto& sim = static_cast<SimFileObject&>(file);
    SimDevice* fileSystem = &device;
    while (fileSystem->attachedTo != nullptr)
        fileSystem = fileSystem->attachedTo;
    if (fileSystem->volume != nullptr)
        fileSystem->volume->cancelledOpens.push_back(sim.name);
}

KernelObject* SimulatedKernel::referenceObject(std::uint32_t handle)
{
    std::lock_guard lock(m_lock);
    auto found = m_events.find(handle);
    if (found == m_events.end())
        return nullptr;
    ++found->second->references;
    return found->second.get();
}

void SimulatedKernel::dereferenceObject(KernelObject& object)
{
    std::lock_guard lock(m_lock);
    --static_cast<SimEvent&>(object).references;
}

void SimulatedKernel::setEvent(KernelObject& event)
{
    std::lock_guard lock(m_lock);
    auto& sim = static_cast<SimEvent&>(event);
    ++sim.sets;
    sim.signalled = true;
    m_eventSet.notify_all();
}

NtStatus SimulatedKernel::startSystemThread(std::function<void()> body, std::unique_ptr<SystemThread>& thread)
{
    {
        std::lock_guard lock(m_lock);
        if (!isSuccess(threadStartFailure))
            return threadStartFailure;
        ++m_threadsStarted;
    }
    thread = std::make_unique<SimThread>(std::move(body));
    return STATUS_SUCCESS;
}

void SimulatedKernel::setCurrentThreadPriority(int priority)
{
    std::lock_guard lock(m_lock);
    m_lastPriority = priority;
}

void* SimulatedKernel::allocatePool(std::size_t size, std::uint32_t tag)
{
    std::lock_guard lock(m_lock);
    if (failingPoolTags.count(tag) != 0)
        return nullptr;
    void* block = std::malloc(size);
    if (block != nullptr)
        ++m_poolInUse[tag];
    return block;
}

void SimulatedKernel::freePool(void* block, std::uint32_t tag)
{
    std::lock_guard lock(m_lock);
    std::free(block);
    --m_poolInUse[tag];
}

// Volumes.

SimVolume& SimulatedKernel::addVolume(const std::string& label, bool network)
{
    std::lock_guard lock(m_lock);
    auto volume = std::make_unique<SimVolume>();
    auto device = std::make_unique<SimDevice>();
    volume->label = label;
    volume->network = network;
    device->type = network ? FILE_DEVICE_NETWORK_FILE_SYSTEM : FILE_DEVICE_DISK_FILE_SYSTEM;
    device->volume = volume.get();
    device->fastIo = &volume->fastIo;
    volume->fileSystemDevice = device.get();
    SimVolume* raw = volume.get();
    for (std::size_t i = 0; i < kFastIoEntryCount; ++i) {
        const auto entry = static_cast<FastIoEntry>(i);
        volume->fastIo.routines[i] = [this, raw, entry](FastIoCall& call, Device* target) -> std::uint32_t {
            Device* level = nullptr;
            if (auto* request = dynamic_cast<SimRequest*>(call.request))
                level = request->currentLevel();
            std::lock_guard guard(m_lock);
            raw->fastIoCalls.push_back(FastIoRecord { entry, target, &call, level });
            return raw->fastIoAnswer;
        };
    }
    m_devices.push_back(std::move(device));
    m_volumes.push_back(std::move(volume));
    return *raw;
}

void SimulatedKernel::assignLetter(char letter, SimVolume& volume)
{
    std::lock_guard lock(m_lock);
    m_letters[letter] = &volume;
}

Device* SimulatedKernel::topOfStack(SimVolume& volume)
{
    std::lock_guard lock(m_lock);
    SimDevice* top = volume.fileSystemDevice;
    while (top->attachedTop != nullptr)
        top = top->attachedTop;
    return top;
}

VolumeLog SimulatedKernel::volumeLog(const SimVolume& volume) const
{
    std::lock_guard lock(m_lock);
    return VolumeLog { volume.opened, volume.cancelledOpens, volume.passedThrough, volume.fastIoCalls };
}

void SimulatedKernel::dismount(SimVolume& volume)
{
    SimDevice* above = nullptr;
    DriverEntryPoints* entryPoints = nullptr;
    {
        std::lock_guard lock(m_lock);
        above = volume.fileSystemDevice->attachedTop;
        entryPoints = m_entryPoints;
    }
    if (above == nullptr || !above->ours || entryPoints == nullptr)
        return;
    FastIoCall call;
    call.targetDevice = volume.fileSystemDevice;
    entryPoints->fastIo(FastIoEntry::FastIoDetachDevice, call, above);
}

SimVolume* SimulatedKernel::volumeOfLetter(char letter) const
{
    std::lock_guard lock(m_lock);
    auto found = m_letters.find(letter);
    return found == m_letters.end() ? nullptr : found->second;
}

std::shared_ptr<SimFileObject> SimulatedKernel::makeFileObject(char letter, const std::string& name)
{
    auto file = std::make_shared<SimFileObject>();
    file->name = name;
    if (SimVolume* volume = volumeOfLetter(letter)) {
        file->type = volume->fileSystemDevice->type;
        file->volume = volume->fileSystemDevice;
    }
    return file;
}

std::shared_ptr<SimRequest> SimulatedKernel::beginOpen(char letter, OpenSpec spec)
{
    auto request = std::make_shared<SimRequest>(*this, MajorFunction::Create);
    request->file = makeFileObject(letter, spec.name);
    request->file->unconvertible = spec.unconvertible;
    request->file->related = spec.related;
    request->options = spec.options;
    request->process = spec.process.body.empty() ? makeProcess("prog.exe", 4242) : std::move(spec.process);
    SimVolume* volume = volumeOfLetter(letter);
    if (volume == nullptr) {
        request->complete(STATUS_OBJECT_NAME_NOT_FOUND, 0);
        return request;
    }
    callDriver(*topOfStack(*volume), *request);
    return request;
}

NtStatus SimulatedKernel::open(char letter, OpenSpec spec)
{
    return beginOpen(letter, std::move(spec))->wait();
}

NtStatus SimulatedKernel::sendRequest(char letter, MajorFunction major)
{
    SimVolume* volume = volumeOfLetter(letter);
    if (volume == nullptr)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    auto request = std::make_shared<SimRequest>(*this, major);
    request->file = makeFileObject(letter, "\\x");
    callDriver(*topOfStack(*volume), *request);
    return request->wait();
}

std::uint32_t SimulatedKernel::fastIo(char letter, FastIoEntry entry, FastIoCall& call)
{
    SimVolume* volume = volumeOfLetter(letter);
    if (volume == nullptr)
        return 0;
    auto* top = static_cast<SimDevice*>(topOfStack(*volume));
    if (top->ours) {
        DriverEntryPoints* entryPoints = nullptr;
        {
            std::lock_guard lock(m_lock);
            entryPoints = m_entryPoints;
        }
        return entryPoints->fastIo(entry, call, top);
    }
    return volume->fastIo.routines[static_cast<std::size_t>(entry)](call, top);
}

std::uint32_t SimulatedKernel::fastIoForFile(FastIoEntry entry, FastIoCall& call)
{
    DriverEntryPoints* entryPoints = nullptr;
    {
        std::lock_guard lock(m_lock);
        entryPoints = m_entryPoints;
    }
    return entryPoints->fastIo(entry, call, nullptr);
}

NtStatus SimulatedKernel::callDriver(Device& target, SimRequest& request)
{
    auto& device = static_cast<SimDevice&>(target);
    if (device.ours) {
        DriverEntryPoints* entryPoints = nullptr;
        {
            std::lock_guard lock(m_lock);
            entryPoints = m_entryPoints;
        }
        return entryPoints->dispatch(device, request);
    }
    return fileSystemRequest(*device.volume, request);
}

void SimulatedKernel::runOnFileSystemThread(std::function<void()> work)
{
    std::lock_guard lock(m_lock);
    m_fileSystemThreads.emplace_back(std::move(work));
}

NtStatus SimulatedKernel::fileSystemRequest(SimVolume& volume, SimRequest& request)
{
    NtStatus status = STATUS_SUCCESS;
    std::uintptr_t information = 0;
    bool onOwnThread = false;
    {
        std::lock_guard lock(m_lock);
        if (request.majorFunction() != MajorFunction::Create) {
            volume.passedThrough.push_back(request.majorFunction());
        } else {
            const std::string& name = request.file->name;
            auto failing = volume.failingNames.find(name);
            if (failing != volume.failingNames.end()) {
                status = failing->second;
            } else {
                volume.opened.push_back(name);
                information = FILE_OPENED;
            }
            onOwnThread = completeOnFileSystemThread;
        }
    }
    if (onOwnThread) {
        std::shared_ptr<SimRequest> held = request.shared_from_this();
        runOnFileSystemThread([held, status, information] { held->lowerFinished(status, information); });
        return STATUS_PENDING;
    }
    request.lowerFinished(status, information);
    return status;
}

// The control device.

SimDevice* SimulatedKernel::namedDevice(const std::string& name) const
{
    std::lock_guard lock(m_lock);
    for (const auto& device : m_devices) {
        if (device->name == name && !device->deleted)
            return device.get();
    }
    return nullptr;
}

NtStatus SimulatedKernel::openControlDevice()
{
    SimDevice* control = namedDevice(kControlDeviceName);
    {
        std::lock_guard lock(m_lock);
        if (control == nullptr || m_links.count(kControlDeviceLink) == 0)
            return STATUS_OBJECT_NAME_NOT_FOUND;
        if (control->exclusive && m_controlOpen)
            return STATUS_ACCESS_DENIED;
    }
    const NtStatus status = sendControlDeviceRequest(MajorFunction::Create);
    if (isSuccess(status)) {
        std::lock_guard lock(m_lock);
        m_controlOpen = true;
    }
    return status;
}

NtStatus SimulatedKernel::closeControlDevice()
{
    const NtStatus status = sendControlDeviceRequest(MajorFunction::Close);
    std::lock_guard lock(m_lock);
    m_controlOpen = false;
    return status;
}

NtStatus SimulatedKernel::sendControlDeviceRequest(MajorFunction major)
{
    SimDevice* control = namedDevice(kControlDeviceName);
    if (control == nullptr)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    auto request = std::make_shared<SimRequest>(*this, major);
    callDriver(*control, *request);
    return request->wait();
}

ControlResult SimulatedKernel::deviceControl(std::uint32_t code, std::span<std::byte> input, std::span<std::byte> output, ControlPath path)
{
    SimDevice* control = namedDevice(kControlDeviceName);
    if (control == nullptr)
        return { STATUS_OBJECT_NAME_NOT_FOUND, 0 };

    if (path == ControlPath::FastIo) {
        DriverEntryPoints* entryPoints = nullptr;
        {
            std::lock_guard lock(m_lock);
            entryPoints = m_entryPoints;
        }
        IoStatusBlock ioStatus;
        FastIoCall call;
        call.controlCode = code;
        call.inputBuffer = input;
        call.outputBuffer = output;
        call.ioStatus = &ioStatus;
        if (entryPoints->fastIo(FastIoEntry::FastIoDeviceControl, call, control) != 0)
            return { ioStatus.Status, static_cast<std::uint32_t>(ioStatus.Information) };
    }

    auto request = std::make_shared<SimRequest>(*this, MajorFunction::DeviceControl);
    request->code = code;
    std::vector<std::byte> systemBuffer;
    const bool buffered = controlCodeMethod(code) == METHOD_BUFFERED;
    if (buffered) {
        systemBuffer.assign(std::max(input.size(), output.size()), std::byte { 0 });
        std::copy(input.begin(), input.end(), systemBuffer.begin());
        request->input = std::span<std::byte>(systemBuffer.data(), input.size());
        request->output = std::span<std::byte>(systemBuffer.data(), output.size());
    } else {
        request->input = input;
        request->output = output;
    }
    callDriver(*control, *request);
    const NtStatus status = request->wait();
    const auto returned = static_cast<std::uint32_t>(request->information());
    if (buffered && isSuccess(status))
        std::copy_n(systemBuffer.begin(), std::min<std::size_t>(returned, output.size()), output.begin());
    return { status, returned };
}

// Events.

std::uint32_t SimulatedKernel::createEvent()
{
    std::lock_guard lock(m_lock);
    const std::uint32_t handle = m_nextEvent;
    m_nextEvent += 4;
    m_events[handle] = std::make_unique<SimEvent>();
    return handle;
}

void SimulatedKernel::waitEvent(std::uint32_t handle)
{
    std::unique_lock lock(m_lock);
    SimEvent& event = *m_events.at(handle);
    m_eventSet.wait(lock, [&] { return event.signalled; });
    event.signalled = false;
}

bool SimulatedKernel::tryWaitEvent(std::uint32_t handle)
{
    std::lock_guard lock(m_lock);
    SimEvent& event = *m_events.at(handle);
    return std::exchange(event.signalled, false);
}

void SimulatedKernel::signalEvent(std::uint32_t handle)
{
    std::lock_guard lock(m_lock);
    m_events.at(handle)->signalled = true;
    m_eventSet.notify_all();
}

int SimulatedKernel::eventSetCount(std::uint32_t handle) const
{
    std::lock_guard lock(m_lock);
    return m_events.at(handle)->sets;
}

int SimulatedKernel::eventReferences(std::uint32_t handle) const
{
    std::lock_guard lock(m_lock);
    return m_events.at(handle)->references;
}

// What happened.

int SimulatedKernel::devicesCreated() const
{
    std::lock_guard lock(m_lock);
    return m_devicesCreated;
}

int SimulatedKernel::devicesLive() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(std::count_if(m_devices.begin(), m_devices.end(), [](const auto& d) { return d->ours && !d->deleted; }));
}

bool SimulatedKernel::linkExists(const std::string& link) const
{
    std::lock_guard lock(m_lock);
    return m_links.count(link) != 0;
}

int SimulatedKernel::openRootHandles() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_rootHandles.size());
}

int SimulatedKernel::systemThreadsStarted() const
{
    std::lock_guard lock(m_lock);
    return m_threadsStarted;
}

int SimulatedKernel::lastThreadPriority() const
{
    std::lock_guard lock(m_lock);
    return m_lastPriority;
}

std::size_t SimulatedKernel::poolBlocksInUse(std::uint32_t tag) const
{
    std::lock_guard lock(m_lock);
    auto found = m_poolInUse.find(tag);
    return found == m_poolInUse.end() ? 0 : found->second;
}

} // namespace vz::driver::sim
