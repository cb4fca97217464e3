#pragma once

#include "driver/control_codes.h"
#include "driver/guard_driver.h"
#include "driver/simulated/manual_tick_source.h"
#include "driver/simulated/simulated_kernel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vz::driver::test {

using sim::ControlPath;
using sim::ControlResult;
using sim::ManualTickSource;
using sim::OpenSpec;
using sim::SimDevice;
using sim::SimulatedKernel;
using sim::SimVolume;

constexpr std::uint32_t driveBit(char letter)
{
    return 1u << (letter - 'A');
}

inline std::vector<std::byte> u32Bytes(std::uint32_t value)
{
    std::vector<std::byte> bytes(4);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::byte>(value >> (8 * i));
    return bytes;
}

inline std::uint32_t u32Of(const std::vector<std::byte>& bytes)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<std::uint32_t>(bytes.at(i));
    return value;
}

inline std::string textOf(const std::vector<std::byte>& bytes)
{
    std::string text;
    for (std::byte b : bytes) {
        if (b == std::byte { 0 })
            break;
        text += static_cast<char>(b);
    }
    return text;
}

struct GuardRequest {
    NtStatus status = STATUS_PENDING;
    std::string name;
    std::string tag;
    std::uint32_t count = 0;
};

// The guard service's side of the control device, call by call.
class ServiceLink {
public:
    explicit ServiceLink(SimulatedKernel& kernel, ControlPath path = ControlPath::Dispatch) : m_kernel(kernel), m_path(path) {}

    ControlResult call(std::uint32_t code, std::vector<std::byte> input = {}, std::size_t outputSize = 0, std::vector<std::byte>* output = nullptr)
    {
        std::vector<std::byte> out(outputSize);
        ControlResult result = m_kernel.deviceControl(code, input, out, m_path);
        if (output != nullptr)
            *output = out;
        return result;
    }

    std::uint32_t version()
    {
        std::vector<std::byte> out;
        ControlResult result = call(IOCTL_GUARD_GET_VERSION, {}, 4, &out);
        EXPECT_EQ(result.status, STATUS_SUCCESS);
        return u32Of(out);
    }
    NtStatus setFilter(const std::string& include, const std::string& exclude = {})
    {
        DriverFilterRecord record {};
        std::strncpy(record.includeText, include.c_str(), sizeof(record.includeText) - 1);
        std::strncpy(record.excludeText, exclude.c_str(), sizeof(record.excludeText) - 1);
        record.firstFlag = 1;
        record.secondFlag = 1;
        std::vector<std::byte> input(sizeof(record));
        std::memcpy(input.data(), &record, sizeof(record));
        return call(IOCTL_GUARD_SET_FILTER, input).status;
    }
    std::uint32_t setDrives(std::uint32_t mask)
    {
        std::vector<std::byte> out;
        ControlResult result = call(IOCTL_GUARD_SET_DRIVES, u32Bytes(mask), 4, &out);
        EXPECT_EQ(result.status, STATUS_SUCCESS);
        EXPECT_EQ(result.returned, 4u);
        return u32Of(out);
    }
    NtStatus registerEvents(std::uint32_t requestEvent, std::uint32_t secondEvent)
    {
        std::vector<std::byte> first = u32Bytes(requestEvent);
        std::vector<std::byte> second = u32Bytes(secondEvent);
        return m_kernel.deviceControl(IOCTL_GUARD_REGISTER_EVENTS, first, second, m_path).status;
    }
    NtStatus releaseEvent() { return call(IOCTL_GUARD_RELEASE_EVENT).status; }
    NtStatus on() { return call(IOCTL_GUARD_ON).status; }
    NtStatus off() { return call(IOCTL_GUARD_OFF).status; }
    NtStatus hold() { return call(IOCTL_GUARD_HOLD).status; }
    NtStatus answer(std::int32_t verdict) { return call(IOCTL_GUARD_ANSWER, u32Bytes(static_cast<std::uint32_t>(verdict))).status; }
    GuardRequest getRequest(std::size_t tagSize = kRequestBufferSize, std::size_t nameSize = kRequestBufferSize)
    {
        std::vector<std::byte> tag(tagSize, std::byte { 0x55 });
        std::vector<std::byte> name(nameSize, std::byte { 0x55 });
        ControlResult result = m_kernel.deviceControl(IOCTL_GUARD_GET_REQUEST, tag, name, m_path);
        return GuardRequest { result.status, textOf(name), textOf(tag), result.returned };
    }

private:
    SimulatedKernel& m_kernel;
    ControlPath m_path;
};

// A started driver over the simulated kernel with drive C: (and whatever a test adds).
class GuardFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        volumeC = &kernel.addVolume("C");
        kernel.assignLetter('C', *volumeC);
        ASSERT_EQ(driver.start(), STATUS_SUCCESS);
    }

    // What the guard service does at its start: version, filter, drives, events, on.
    void startService(std::uint32_t drives = driveBit('C'), const std::string& include = "*")
    {
        openControlDevice();
        ASSERT_EQ(service.version(), kGuardProtocolVersion);
        ASSERT_EQ(service.setFilter(include), STATUS_SUCCESS);
        ASSERT_EQ(service.setDrives(drives), drives);
        requestEvent = kernel.createEvent();
        secondEvent = kernel.createEvent();
        ASSERT_EQ(service.registerEvents(requestEvent, secondEvent), STATUS_SUCCESS);
        ASSERT_EQ(service.on(), STATUS_SUCCESS);
    }

    void openControlDevice()
    {
        if (!controlOpen) {
            ASSERT_EQ(kernel.openControlDevice(), STATUS_SUCCESS);
        }
        controlOpen = true;
    }

    // Lets the held open go with an answer, as the hold worker does at its next tick.
    void answerAndTick(std::int32_t verdict)
    {
        ASSERT_EQ(service.answer(verdict), STATUS_SUCCESS);
        ticks.advance(1);
    }

    // An open as a program makes it; returns once the driver's dispatch has returned.
    std::shared_ptr<sim::SimRequest> beginOpen(char letter, const std::string& name, std::uint32_t options = (sim::FILE_OPEN << 24) | FILE_NON_DIRECTORY_FILE)
    {
        OpenSpec spec;
        spec.name = name;
        spec.options = options;
        return kernel.beginOpen(letter, spec);
    }

    // An open that the program waits for to the end.
    NtStatus openNow(char letter, const std::string& name) { return beginOpen(letter, name)->wait(); }

    GuardDriver::Snapshot state() const { return driver.snapshot(); }

    SimulatedKernel kernel;
    ManualTickSource ticks;
    GuardDriver driver { kernel, ticks };
    ServiceLink service { kernel };
    SimVolume* volumeC = nullptr;
    std::uint32_t requestEvent = 0;
    std::uint32_t secondEvent = 0;
    bool controlOpen = false;
};

} // namespace vz::driver::test
