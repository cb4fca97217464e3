#pragma once

#include "driver/driver_state.h"
#include "driver/filter_extension.h"
#include "driver/kernel_port.h"
#include "driver/tick_source.h"

#include <memory>
#include <mutex>
#include <string_view>

namespace vz::driver {

// The hold worker lets an unanswered open through on the 1001st counted tick.
inline constexpr int kHoldTimeoutTicks = 1000;
inline constexpr int kHoldWorkerPriority = 16;

// Names longer than this are not examined: they would not fit the service's request
// buffers, and a shortened name would have the service test some other file.
inline constexpr std::size_t kMaxExaminedNameLength = kRequestBufferSize - 1;

// The open handling of the volume filter devices: which opens are asked about, the
// request to the service, the hold queue and the hold worker that applies the verdict.
class OpenInterception {
public:
    OpenInterception(KernelPort& port, TickSource& ticks, DriverState& state);
    ~OpenInterception();
    OpenInterception(const OpenInterception&) = delete;
    OpenInterception& operator=(const OpenInterception&) = delete;

    // Every open arriving at a volume filter device.
    NtStatus handleOpen(FilterExtension& volume, Request& request);

    // Accepts a full name for a request and fills the request slots.
    bool nameTest(std::string_view name, const ProcessObject& process);

    // The hold worker runs from driver start, so no held open waits for a start that
    // never comes.
    NtStatus startHoldWorker();
    // Stops the worker and lets every held open through with the file system's result.
    void stop();

    // True while an issued request has not been finished by the hold worker.
    bool requestInProgress() const;

private:
    struct Handshake;

    NtStatus passDown(FilterExtension& volume, Request& request);
    NtStatus issueRequest(FilterExtension& volume, Request& request);
    NtStatus completionStep(Request& request, const IoStatusBlock& lowerResult, Device* lower, const std::shared_ptr<Handshake>& handshake);
    void cancelRoutine(Request& request);
    void holdWorker();
    void finishHeldOpens();

    KernelPort& m_port;
    TickSource& m_ticks;
    DriverState& m_state;
    std::mutex m_examineLock;
    std::mutex m_workerStartLock;
    std::unique_ptr<SystemThread> m_worker;
};

} // namespace vz::driver
