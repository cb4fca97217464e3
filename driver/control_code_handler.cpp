#include "driver/control_code_handler.h"

#include "driver/control_codes.h"

#include <cstring>
#include <optional>
#include <string>

namespace vz::driver {

namespace {

std::uint32_t readU32(std::span<const std::byte> buffer)
{
    std::uint8_t bytes[4];
    std::memcpy(bytes, buffer.data(), 4);
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8
        | static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void writeU32(std::span<std::byte> buffer, std::uint32_t value)
{
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)
    };
    std::memcpy(buffer.data(), bytes, 4);
}

std::optional<std::uint32_t> handleIn(std::span<const std::byte> buffer)
{
    if (buffer.size() < 4)
        return std::nullopt;
    return readU32(buffer);
}

// Copies a name with its NUL into a caller's buffer, staying inside the length the
// caller gave: a name that does not fit is cut and still ends with its NUL.
void copyName(std::span<std::byte> buffer, const std::string& name)
{
    if (buffer.empty())
        return;
    const std::size_t length = std::min(name.size(), buffer.size() - 1);
    std::memcpy(buffer.data(), name.data(), length);
    buffer[length] = std::byte { 0 };
}

// A text of the filter record ends at its NUL, or at its field's end when the service
// left none.
std::string_view recordText(const char (&field)[128])
{
    std::size_t length = 0;
    while (length < sizeof(field) && field[length] != '\0')
        ++length;
    return std::string_view(field, length);
}

} // namespace

ControlCodeHandler::ControlCodeHandler(DriverState& state, VolumeAttachment& volumes, OpenInterception& interception, TickSource& ticks)
    : m_state(state)
    , m_volumes(volumes)
    , m_interception(interception)
    , m_ticks(ticks)
{
}

NtStatus ControlCodeHandler::handle(std::uint32_t code, std::span<std::byte> input, std::span<std::byte> output, std::uint32_t& returned)
{
    returned = 0;
    switch (code) {
    case IOCTL_GUARD_SET_DRIVES: {
        if (input.size() < 4 || output.size() < 4)
            return STATUS_BUFFER_TOO_SMALL;
        const std::uint32_t wanted = readU32(input);
        writeU32(output, m_volumes.setDrives(wanted));
        returned = 4;
        return STATUS_SUCCESS;
    }
    case IOCTL_GUARD_OFF:
        m_state.readyFlag.store(0);
        return STATUS_SUCCESS;
    case IOCTL_GUARD_ON:
        m_state.readyFlag.store(1);
        return STATUS_SUCCESS;
    case IOCTL_GUARD_SET_FILTER:
        return setFilter(input);
    case IOCTL_GUARD_GET_VERSION:
        if (output.size() < 4)
            return STATUS_BUFFER_TOO_SMALL;
        writeU32(output, kGuardProtocolVersion);
        returned = 4;
        return STATUS_SUCCESS;
    case IOCTL_GUARD_REGISTER_EVENTS:
        // A handle that is missing or names no object leaves that reference empty; the
        // code succeeds all the same.
        m_state.events.registerEvents(handleIn(input), handleIn(output));
        return STATUS_SUCCESS;
    case IOCTL_GUARD_RELEASE_EVENT:
        m_state.events.releaseRequestEvent();
        return STATUS_SUCCESS;
    case IOCTL_GUARD_ANSWER:
        // Without its 4 bytes there is no verdict to read.
        if (input.size() < 4)
            return STATUS_BUFFER_TOO_SMALL;
        answer(static_cast<std::int32_t>(readU32(input)));
        return STATUS_SUCCESS;
    case IOCTL_GUARD_GET_REQUEST:
        getRequest(input, output, returned);
        return STATUS_SUCCESS;
    case IOCTL_GUARD_HOLD:
        m_state.holdFlag.store(1);
        return STATUS_SUCCESS;
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

NtStatus ControlCodeHandler::setFilter(std::span<const std::byte> input)
{
    if (input.size() < sizeof(DriverFilterRecord))
        return STATUS_BUFFER_TOO_SMALL;
    DriverFilterRecord record;
    std::memcpy(&record, input.data(), sizeof(record));
    {
        std::lock_guard lock(m_state.filterRecordLock);
        m_state.filterRecord = record;
    }
    m_state.patterns.rebuild(recordText(record.includeText), recordText(record.excludeText));
    return STATUS_SUCCESS;
}

void ControlCodeHandler::answer(std::int32_t verdict)
{
    m_state.holdFlag.store(0);
    m_state.verdict.store(verdict);
    switch (verdict) {
    case kVerdictRefuse:
        m_state.slots.refuseRequestName();
        m_state.createOptionsWord.store(0);
        return;
    case kVerdictRefuseAndWait:
        // Returns once the hold worker has refused the open and put the verdict back.
        // With no request left to finish (its open was cancelled and the worker has
        // ended it, or there never was one) nothing would put it back: it returns then.
        while (m_state.verdict.load() == kVerdictRefuseAndWait) {
            if (!m_interception.requestInProgress() || m_state.stopping.load()) {
                std::int32_t expected = kVerdictRefuseAndWait;
                m_state.verdict.compare_exchange_strong(expected, kVerdictNone);
                break;
            }
            m_ticks.pause(kAnswerLook);
        }
        return;
    default:
        m_state.slots.clearRequestName();
        m_state.createOptionsWord.store(0);
        return;
    }
}

void ControlCodeHandler::getRequest(std::span<std::byte> input, std::span<std::byte> output, std::uint32_t& returned)
{
    copyName(output, m_state.slots.requestName());
    returned = m_state.createOptionsWord.load();
    copyName(input, m_state.slots.processTag());
}

} // namespace vz::driver
