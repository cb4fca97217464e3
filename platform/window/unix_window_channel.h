#pragma once

#include "common/service_command.h"

#include <chrono>
#include <string>

namespace vz::platform {

// How long a sender waits. A send is synchronous like the message it stands for, but a
// receiver that hangs must not hang its sender for ever: after `answer` the send gives
// nothing, as for a window that is not there. The service answers most commands at
// once; a mail scan tests a whole message with the engine, so the bound is generous.
struct WindowChannelTimeouts {
    std::chrono::milliseconds connectAndSend { 10'000 };
    std::chrono::milliseconds answer { 120'000 };
};

// The sending side of windows: connects to the endpoint of the titled window in the
// runtime folder (see window_name.h), sends one message and, for data, waits for the
// 32-bit answer. A title with no endpoint, or only a stale socket file of a program
// that is gone, is "no window".
class UnixWindowChannel final : public WindowChannel {
public:
    // Windows of the runtime folder (environment::runtimeFolder()).
    UnixWindowChannel();
    explicit UnixWindowChannel(std::string folder, WindowChannelTimeouts timeouts = {});

    std::optional<std::uint32_t> sendCopyData(std::string_view windowTitle, const std::vector<std::uint8_t>& data) override;
    bool postCommand(std::string_view windowTitle, std::uint32_t commandId) override;

    const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
    WindowChannelTimeouts m_timeouts;
};

} // namespace vz::platform
