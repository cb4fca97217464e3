#include "driver/open_interception.h"

#include "driver/name_builder.h"
#include "driver/process_tag.h"

#include <array>
#include <condition_variable>
#include <cstring>

namespace vz::driver {

namespace {

constexpr std::array<std::string_view, 7> kWatchedExtensions = { ".txt", ".exe", ".com", ".bat", ".rar", ".zip", ".dll" };

bool endsWithWatchedExtension(std::string_view name)
{
    std::string_view tail = name.substr(name.size() - 4);
    for (std::string_view extension : kWatchedExtensions) {
        bool same = true;
        for (std::size_t i = 0; i < 4 && same; ++i) {
            char c = tail[i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            same = c == extension[i];
        }
        if (same)
            return true;
    }
    return false;
}

} // namespace

// The one-shot signal from the completion step of an issued open to the thread that
// issued it.
struct OpenInterception::Handshake {
    std::mutex lock;
    std::condition_variable signalled;
    bool done = false;

    void signal()
    {
        std::lock_guard guard(lock);
        done = true;
        signalled.notify_all();
    }
    void wait()
    {
        std::unique_lock guard(lock);
        signalled.wait(guard, [this] { return done; });
    }
};

OpenInterception::OpenInterception(KernelPort& port, TickSource& ticks, DriverState& state)
    : m_port(port)
    , m_ticks(ticks)
    , m_state(state)
{
}

OpenInterception::~OpenInterception()
{
    stop();
}

NtStatus OpenInterception::passDown(FilterExtension& volume, Request& request)
{
    return request.passDown(*volume.LowerDevice);
}

NtStatus OpenInterception::handleOpen(FilterExtension& volume, Request& request)
{
    FileObject* file = request.fileObject();
    if (volume.Active.load() == 0 || m_state.readyFlag.load() == 0 || file == nullptr)
        return passDown(volume, request);

    // A name buffer from the pool; without one the name stays empty and the open is
    // not examined.
    NameBuffer buffer(m_state.namePool);
    std::string_view name;
    if (buffer.valid()) {
        std::string built;
        if (m_state.readyFlag.load() == 1 && volume.Active.load() == 1)
            built = buildFullName(volume, *file);
        std::memcpy(buffer.data(), built.c_str(), built.size() + 1);
        name = std::string_view(buffer.data(), built.size());
    }

    const std::uint32_t options = request.createOptions();
    // From the ready test to the claim of the request slots one open at a time: two
    // opens passing the ready test together would both be held, with the service's
    // verdict on one of them applied to the other.
    std::unique_lock examining(m_examineLock);
    const bool examined = (options & FILE_OPEN_BY_FILE_ID) == 0
        && m_state.readyFlag.load() == 1
        && (options & FILE_NON_DIRECTORY_FILE) != 0
        && nameTest(name, request.requestingProcess());
    if (!examined) {
        examining.unlock();
        buffer.release();
        return passDown(volume, request);
    }

    if (m_state.slots.isLastRefused(name)) {
        m_state.slots.clearLastExamined();
        examining.unlock();
        request.complete(STATUS_ACCESS_DENIED, 0);
        return STATUS_ACCESS_DENIED;
    }

    // Nobody would hear about the request (the service has let go of its event, or
    // never handed one over): the open passes, and is examined again once it has.
    if (!m_state.events.hasRequestEvent()) {
        m_state.slots.clearLastExamined();
        examining.unlock();
        return passDown(volume, request);
    }

    m_state.createOptionsWord.store(options);
    m_state.holdFlag.store(0);
    m_state.verdict.store(kVerdictNone);
    m_state.requestOutstanding.store(true);
    m_state.readyFlag.store(0);
    examining.unlock();
    return issueRequest(volume, request);
}

bool OpenInterception::nameTest(std::string_view name, const ProcessObject& process)
{
    if (m_state.readyFlag.load() == 0)
        return false;
    if (m_state.slots.isLastExamined(name))
        return false;
    if (name.size() < 4 || name.back() == '\\' || name.back() == ':')
        return false;
    if (!endsWithWatchedExtension(name))
        return false;
    if (name.size() > kMaxExaminedNameLength)
        return false;
    m_state.slots.fill(name, processTag(process, m_state.imageNameOffset));
    return m_state.patterns.examine(name);
}

// The request slots are filled and the state says "waiting"; the open goes to the
// file system and, once it is held, the service is told.
NtStatus OpenInterception::issueRequest(FilterExtension& volume, Request& request)
{
    auto handshake = std::make_shared<Handshake>();
    Device* lower = volume.LowerDevice;
    request.passDown(*lower, [this, lower, handshake](Request& held, const IoStatusBlock& lowerResult) {
        return completionStep(held, lowerResult, lower, handshake);
    });
    handshake->wait();
    m_state.events.signalRequestEvent();
    return STATUS_PENDING;
}

NtStatus OpenInterception::completionStep(Request& request, const IoStatusBlock& lowerResult, Device* lower, const std::shared_ptr<Handshake>& handshake)
{
    const HeldOpen open { &request, lower, request.fileObject(), lowerResult };
    const bool held = m_state.holdQueue.append(open, [this, &request] {
        request.setCancelRoutine([this](Request& cancelled) { cancelRoutine(cancelled); });
        request.markPending();
    });
    handshake->signal();
    // A full queue cannot keep the open: it is let through with the file system's
    // result rather than left unfinished.
    return held ? STATUS_MORE_PROCESSING_REQUIRED : lowerResult.Status;
}

void OpenInterception::cancelRoutine(Request& request)
{
    std::optional<HeldOpen> open = m_state.holdQueue.removeForCancel(request);
    // The file system has performed the open; it is closed again rather than leaked.
    if (open && isSuccess(open->fileSystemResult.Status) && open->lowerDevice != nullptr && open->file != nullptr)
        m_port.cancelFileOpen(*open->lowerDevice, *open->file);
    request.complete(STATUS_CANCELLED, 0);
}

bool OpenInterception::requestInProgress() const
{
    return m_state.requestOutstanding.load() || m_state.holdQueue.count() != 0;
}

} // namespace vz::driver
