#include "guard_fixture.h"

#include "driver/process_tag.h"

namespace vz::driver::test {

TEST(DriverStart, CreatesTheControlDeviceAndLinkOrLeavesNothingBehind)
{
    struct Case {
        const char* what;
        NtStatus deviceFailure;
        NtStatus linkFailure;
        NtStatus threadFailure;
    };
    const Case cases[] = {
        { "success", STATUS_SUCCESS, STATUS_SUCCESS, STATUS_SUCCESS },
        { "no device", STATUS_INSUFFICIENT_RESOURCES, STATUS_SUCCESS, STATUS_SUCCESS },
        { "no link", STATUS_SUCCESS, STATUS_OBJECT_NAME_COLLISION, STATUS_SUCCESS },
        { "no hold worker", STATUS_SUCCESS, STATUS_SUCCESS, STATUS_INSUFFICIENT_RESOURCES },
    };
    for (const Case& c : cases) {
        SimulatedKernel kernel;
        ManualTickSource ticks;
        kernel.controlDeviceFailure = c.deviceFailure;
        kernel.symbolicLinkFailure = c.linkFailure;
        kernel.threadStartFailure = c.threadFailure;
        GuardDriver driver(kernel, ticks);
        const NtStatus expected = !isSuccess(c.deviceFailure) ? c.deviceFailure
            : !isSuccess(c.linkFailure)                       ? c.linkFailure
                                                              : c.threadFailure;
        EXPECT_EQ(driver.start(), expected) << c.what;
        const bool started = isSuccess(expected);
        EXPECT_EQ(kernel.devicesLive(), started ? 1 : 0) << c.what;
        EXPECT_EQ(kernel.linkExists(kControlDeviceLink), started) << c.what;
        EXPECT_EQ(kernel.openControlDevice(), started ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND) << c.what;
        if (started) {
            SimDevice* control = kernel.namedDevice(kControlDeviceName);
            EXPECT_EQ(control->deviceType(), kGuardDeviceType);
            EXPECT_TRUE(control->exclusive);
            EXPECT_EQ(control->filterExtension()->Type, kControlDeviceType);
            EXPECT_EQ(control->filterExtension()->LowerDevice, nullptr);
            // The hold worker runs from the start, at priority 16.
            ticks.advance(1);
            EXPECT_EQ(kernel.lastThreadPriority(), kHoldWorkerPriority);
        }
    }
}

TEST_F(GuardFixture, StartsWithTheInitialState)
{
    const auto s = state();
    EXPECT_EQ(s.readyFlag, 0);
    EXPECT_EQ(s.holdFlag, 0u);
    EXPECT_EQ(s.verdict, 0);
    EXPECT_EQ(s.createOptionsWord, 0u);
    EXPECT_EQ(s.requestName, "");
    EXPECT_EQ(s.processTag, "");
    EXPECT_EQ(s.lastExaminedName, "");
    EXPECT_EQ(s.lastRefusedName, "");
    EXPECT_EQ(s.driveMask, 0u);
    EXPECT_EQ(s.heldOpens, 0u);
    EXPECT_FALSE(s.requestEventRegistered);
    EXPECT_TRUE(s.includePatterns.empty());
    EXPECT_EQ(s.imageNameOffset, sim::kSimImageNameOffset);
    for (unsigned n = 0; n < kDriveLetters; ++n)
        EXPECT_EQ(driver.slot(n), nullptr);
}

TEST_F(GuardFixture, ControlDeviceIsExclusiveAndItsCloseStopsInterception)
{
    ASSERT_EQ(kernel.openControlDevice(), STATUS_SUCCESS);
    EXPECT_EQ(kernel.openControlDevice(), STATUS_ACCESS_DENIED);
    // Requests other than open, close and device control succeed with no data.
    EXPECT_EQ(kernel.sendControlDeviceRequest(MajorFunction::Cleanup), STATUS_SUCCESS);
    EXPECT_EQ(kernel.sendControlDeviceRequest(MajorFunction::Read), STATUS_SUCCESS);

    EXPECT_EQ(service.setDrives(driveBit('C')), driveBit('C'));
    ASSERT_EQ(service.on(), STATUS_SUCCESS);
    EXPECT_EQ(kernel.closeControlDevice(), STATUS_SUCCESS);
    EXPECT_EQ(state().driveMask, 0u);
    EXPECT_EQ(driver.slot(2)->filterExtension()->Active.load(), 0);
    // The ready flag stays as it was.
    EXPECT_EQ(state().readyFlag, 1);
    EXPECT_EQ(kernel.openControlDevice(), STATUS_SUCCESS);
}

class ControlCodes : public GuardFixture, public ::testing::WithParamInterface<ControlPath> {
protected:
    ServiceLink link { kernel, GetParam() };
};

TEST_P(ControlCodes, VersionAndShortBuffers)
{
    std::vector<std::byte> out;
    ControlResult result = link.call(IOCTL_GUARD_GET_VERSION, {}, 4, &out);
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.returned, 4u);
    EXPECT_EQ(u32Of(out), 100u);

    struct Case {
        const char* what;
        std::uint32_t code;
        std::size_t inputSize;
        std::size_t outputSize;
    };
    const Case shortCases[] = {
        { "version, 3-byte output", IOCTL_GUARD_GET_VERSION, 0, 3 },
        { "set-drives, 3-byte input", IOCTL_GUARD_SET_DRIVES, 3, 4 },
        { "set-drives, 3-byte output", IOCTL_GUARD_SET_DRIVES, 4, 3 },
        { "set-filter, 257 bytes", IOCTL_GUARD_SET_FILTER, 257, 0 },
        { "answer without a verdict", IOCTL_GUARD_ANSWER, 3, 0 },
    };
    ASSERT_EQ(link.setFilter("*.EXE"), STATUS_SUCCESS);
    for (const Case& c : shortCases) {
        std::vector<std::byte> input(c.inputSize, std::byte { 0xFF });
        ControlResult r = link.call(c.code, input, c.outputSize);
        EXPECT_EQ(r.status, STATUS_BUFFER_TOO_SMALL) << c.what;
        EXPECT_EQ(r.returned, 0u) << c.what;
    }
    // Nothing changed.
    const auto s = state();
    EXPECT_EQ(s.includePatterns, std::vector<std::string> { "*.EXE*" });
    EXPECT_EQ(s.driveMask, 0u);
    EXPECT_EQ(s.verdict, 0);

    for (std::uint32_t code : { 0x83000004u, 0x83000008u, 0x8300200Fu, 0x12345678u })
        EXPECT_EQ(link.call(code, {}, 4).status, STATUS_INVALID_DEVICE_REQUEST) << std::hex << code;
}

TEST_P(ControlCodes, FilterRecordIsKeptAndBothListsRebuilt)
{
    DriverFilterRecord record {};
    std::memcpy(record.includeText, "*.EXE;*.COM", 12);
    std::memcpy(record.excludeText, "C:\\SCAN", 8);
    record.firstFlag = 1;
    record.secondFlag = 7;
    std::vector<std::byte> input(sizeof(record));
    std::memcpy(input.data(), &record, sizeof(record));
    EXPECT_EQ(link.call(IOCTL_GUARD_SET_FILTER, input).status, STATUS_SUCCESS);
    auto s = state();
    EXPECT_EQ(s.includePatterns, (std::vector<std::string> { "*.EXE*", "*.COM*" }));
    EXPECT_EQ(s.excludePatterns, std::vector<std::string> { "*C:\\SCAN*" });
    EXPECT_EQ(s.filterRecord.firstFlag, 1);
    EXPECT_EQ(s.filterRecord.secondFlag, 7);

    // A text without its NUL ends at its field.
    std::memset(record.includeText, 'A', sizeof(record.includeText));
    std::memcpy(input.data(), &record, sizeof(record));
    EXPECT_EQ(link.call(IOCTL_GUARD_SET_FILTER, input).status, STATUS_SUCCESS);
    EXPECT_EQ(state().includePatterns, std::vector<std::string> { "*" + std::string(128, 'A') + "*" });
}

TEST_P(ControlCodes, GetRequestBeforeAnyRequestAndOnOffHold)
{
    GuardRequest request = link.getRequest();
    EXPECT_EQ(request.status, STATUS_SUCCESS);
    EXPECT_EQ(request.name, "");
    EXPECT_EQ(request.tag, "");
    EXPECT_EQ(request.count, 0u);

    EXPECT_EQ(link.on(), STATUS_SUCCESS);
    EXPECT_EQ(state().readyFlag, 1);
    EXPECT_EQ(link.hold(), STATUS_SUCCESS);
    EXPECT_EQ(state().holdFlag, 1u);
    EXPECT_EQ(link.answer(0), STATUS_SUCCESS);
    EXPECT_EQ(state().holdFlag, 0u);
    EXPECT_EQ(link.off(), STATUS_SUCCESS);
    EXPECT_EQ(state().readyFlag, 0);
}

TEST_P(ControlCodes, EventsAreReferencedReplacedAndReleased)
{
    const std::uint32_t first = kernel.createEvent();
    const std::uint32_t second = kernel.createEvent();
    EXPECT_EQ(link.registerEvents(first, second), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventReferences(first), 1);
    EXPECT_EQ(kernel.eventReferences(second), 1);
    EXPECT_TRUE(state().requestEventRegistered);

    // A second registration lets go of the earlier references.
    const std::uint32_t third = kernel.createEvent();
    EXPECT_EQ(link.registerEvents(third, second), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventReferences(first), 0);
    EXPECT_EQ(kernel.eventReferences(second), 1);
    EXPECT_EQ(kernel.eventReferences(third), 1);

    EXPECT_EQ(link.releaseEvent(), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventReferences(third), 0);
    EXPECT_FALSE(state().requestEventRegistered);
    // Releasing again, or registering handles that name nothing, still succeeds.
    EXPECT_EQ(link.releaseEvent(), STATUS_SUCCESS);
    EXPECT_EQ(link.registerEvents(0xDEAD, 0xBEEF), STATUS_SUCCESS);
    EXPECT_FALSE(state().requestEventRegistered);
    // Short handle buffers name nothing.
    EXPECT_EQ(kernel.deviceControl(IOCTL_GUARD_REGISTER_EVENTS, {}, {}, GetParam()).status, STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventSetCount(first), 0);
    EXPECT_EQ(kernel.eventSetCount(second), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, ControlCodes, ::testing::Values(ControlPath::Dispatch, ControlPath::FastIo),
    [](const auto& info) { return info.param == ControlPath::Dispatch ? std::string("Dispatch") : std::string("FastIo"); });

TEST(ProcessTag, ImageNameAndProcessId)
{
    struct Case {
        std::string image;
        std::uint32_t id;
        std::uint32_t offset;
        std::string expected;
    };
    const Case cases[] = {
        { "explorer.exe", 1234, sim::kSimImageNameOffset, "explorer.exe:1234" },
        { "averyveryverylongname.exe", 7, sim::kSimImageNameOffset, "averyveryverylo:7" },
        { "explorer.exe", 1234, 0, "???" },
    };
    for (const Case& c : cases) {
        sim::SimProcess process = sim::makeProcess(c.image, c.id);
        EXPECT_EQ(processTag({ process.body, process.id }, c.offset), c.expected);
    }

    // The offset is the first place "System" stands in the start process, below 0x3000.
    sim::SimProcess system = sim::makeProcess("System", 4);
    EXPECT_EQ(findImageNameOffset({ system.body, system.id }), sim::kSimImageNameOffset);
    std::vector<std::uint8_t> late(0x3100, 0);
    std::memcpy(late.data() + 0x3000, "System", 6);
    EXPECT_EQ(findImageNameOffset({ late, 4 }), 0u);
    std::memcpy(late.data() + 0x2FFF, "System", 6);
    EXPECT_EQ(findImageNameOffset({ late, 4 }), 0x2FFFu);
    sim::SimProcess idle = sim::makeProcess("Idle", 0);
    EXPECT_EQ(findImageNameOffset({ idle.body, idle.id }), 0u);
}

} // namespace vz::driver::test
