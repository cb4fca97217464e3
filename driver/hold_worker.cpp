#include "driver/open_interception.h"

namespace vz::driver {

NtStatus OpenInterception::startHoldWorker()
{
    std::lock_guard lock(m_workerStartLock);
    if (m_worker)
        return STATUS_SUCCESS;
    return m_port.startSystemThread([this] { holdWorker(); }, m_worker);
}

void OpenInterception::stop()
{
    m_state.stopping.store(true);
    m_ticks.stop();
    {
        std::lock_guard lock(m_workerStartLock);
        m_worker.reset();
    }
    // Nobody will answer any more: every held open gets the file system's result.
    for (const HoldQueue::Taken& taken : m_state.holdQueue.takeAll()) {
        if (!taken.leftToCancelRoutine)
            taken.open.request->complete(taken.open.fileSystemResult.Status, taken.open.fileSystemResult.Information);
    }
}

void OpenInterception::holdWorker()
{
    m_port.setCurrentThreadPriority(kHoldWorkerPriority);
    int ticks = 0;
    while (m_ticks.waitTick()) {
        if (!requestInProgress())
            continue;
        // Ticks while the service holds the open do not count.
        if (m_state.holdFlag.load() == 1)
            continue;
        if (++ticks > kHoldTimeoutTicks)
            ticks = 0;
        if (ticks != 0 && m_state.verdict.load() == kVerdictNone)
            continue;
        ticks = 0;
        finishHeldOpens();
    }
}

void OpenInterception::finishHeldOpens()
{
    // Only the first open taken out gets the service's verdict; any other open held at
    // that moment (two opens passed the ready test together) is let through.
    bool first = true;
    for (const HoldQueue::Taken& taken : m_state.holdQueue.takeAll()) {
        const std::int32_t verdict = first ? m_state.verdict.load() : kVerdictNone;
        first = false;
        if (taken.leftToCancelRoutine)
            continue;
        const HeldOpen& open = taken.open;
        if (!isSuccess(open.fileSystemResult.Status)) {
            open.request->complete(open.fileSystemResult.Status, open.fileSystemResult.Information);
        } else if (verdict == kVerdictRefuse || verdict == kVerdictRefuseAndWait) {
            m_port.cancelFileOpen(*open.lowerDevice, *open.file);
            open.request->complete(STATUS_ACCESS_DENIED, 0);
            // The next open of the same file is tested again and then refused at once.
            m_state.slots.clearLastExamined();
        } else {
            open.request->complete(open.fileSystemResult.Status, open.fileSystemResult.Information);
        }
    }
    // The request is over, also when its open was cancelled before the verdict came.
    m_state.requestOutstanding.store(false);
    m_state.verdict.store(kVerdictNone);
    m_state.readyFlag.store(1);
}

} // namespace vz::driver
