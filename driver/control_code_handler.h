#pragma once

#include "driver/driver_state.h"
#include "driver/open_interception.h"
#include "driver/tick_source.h"
#include "driver/volume_attachment.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vz::driver {

// The service's control codes, whether they come through the control device's
// device-control request or its fast path.
class ControlCodeHandler {
public:
    ControlCodeHandler(DriverState& state, VolumeAttachment& volumes, OpenInterception& interception, TickSource& ticks);

    // `input` and `output` are the buffers as the transfer method gives them (the one
    // system buffer for buffered codes). `returned` receives the returned count.
    NtStatus handle(std::uint32_t code, std::span<std::byte> input, std::span<std::byte> output, std::uint32_t& returned);

private:
    NtStatus setFilter(std::span<const std::byte> input);
    void answer(std::int32_t verdict);
    void getRequest(std::span<std::byte> input, std::span<std::byte> output, std::uint32_t& returned);

    DriverState& m_state;
    VolumeAttachment& m_volumes;
    OpenInterception& m_interception;
    TickSource& m_ticks;
};

} // namespace vz::driver
