#include "guard_fixture.h"

namespace vz::driver::test {

class Volumes : public GuardFixture {
protected:
    void SetUp() override
    {
        GuardFixture::SetUp();
        volumeD = &kernel.addVolume("D");
        kernel.assignLetter('D', *volumeD);
        volumeE = &kernel.addVolume("E");
        volumeE->noMedium = true;
        kernel.assignLetter('E', *volumeE);
        openControlDevice();
    }

    bool active(char letter) const
    {
        Device* device = driver.slot(static_cast<unsigned>(letter - 'A'));
        return device != nullptr && device->filterExtension()->Active.load() == 1;
    }

    SimVolume* volumeD = nullptr;
    SimVolume* volumeE = nullptr;
};

TEST_F(Volumes, AttachesTheWantedLettersThatOpen)
{
    const std::uint32_t wanted = driveBit('C') | driveBit('D') | driveBit('E') | driveBit('F');
    EXPECT_EQ(service.setDrives(wanted), driveBit('C') | driveBit('D'));
    EXPECT_EQ(state().driveMask, driveBit('C') | driveBit('D'));
    EXPECT_EQ(kernel.openRootHandles(), 0);

    Device* c = driver.slot(2);
    ASSERT_NE(c, nullptr);
    FilterExtension& extension = *c->filterExtension();
    EXPECT_EQ(extension.Type, kVolumeFilterType);
    EXPECT_EQ(extension.DriveLetter, static_cast<std::uint32_t>('C'));
    EXPECT_EQ(extension.LowerDevice, volumeC->fileSystemDevice);
    EXPECT_EQ(c->deviceType(), volumeC->fileSystemDevice->deviceType());
    EXPECT_EQ(kernel.topOfStack(*volumeC), c);
    EXPECT_TRUE(active('C'));
    EXPECT_TRUE(active('D'));
    EXPECT_EQ(driver.slot(4), nullptr);

    // The same mask again makes nothing new; an empty mask makes every letter inactive;
    // the old mask makes them active again without new devices.
    const int devices = kernel.devicesCreated();
    EXPECT_EQ(service.setDrives(wanted), driveBit('C') | driveBit('D'));
    EXPECT_EQ(service.setDrives(0), 0u);
    EXPECT_FALSE(active('C'));
    EXPECT_FALSE(active('D'));
    EXPECT_EQ(service.setDrives(driveBit('C') | driveBit('D')), driveBit('C') | driveBit('D'));
    EXPECT_TRUE(active('C'));
    EXPECT_TRUE(active('D'));
    EXPECT_EQ(kernel.devicesCreated(), devices);

    // A letter whose attach failed is tried again by the next set-drives.
    volumeE->noMedium = false;
    EXPECT_EQ(service.setDrives(driveBit('C') | driveBit('D') | driveBit('E')), driveBit('C') | driveBit('D') | driveBit('E'));
}

TEST_F(Volumes, LettersOfOneVolumeShareItsDevice)
{
    // S: is a letter substituted for a folder of C:.
    kernel.assignLetter('S', *volumeC);
    EXPECT_EQ(service.setDrives(driveBit('C') | driveBit('S')), driveBit('C') | driveBit('S'));
    EXPECT_EQ(driver.slot(2), driver.slot(18));
    EXPECT_EQ(driver.slot(2)->filterExtension()->DriveLetter, static_cast<std::uint32_t>('C'));
    const int devices = kernel.devicesCreated();

    // Opens through either letter are named with C:'s letter.
    startService(driveBit('C') | driveBit('S'));
    auto open = beginOpen('S', "\\dir\\a.exe");
    EXPECT_EQ(service.getRequest().name, "C:\\dir\\a.exe");
    ASSERT_EQ(service.answer(kVerdictAllow), STATUS_SUCCESS);
    ticks.advance(1);
    EXPECT_EQ(open->wait(), STATUS_SUCCESS);

    // Dropping the earlier letter of the two drops both.
    EXPECT_EQ(service.setDrives(driveBit('S')), 0u);
    EXPECT_FALSE(active('C'));
    EXPECT_FALSE(active('S'));

    // Asking for one letter of the volume brings its companion along.
    EXPECT_EQ(service.setDrives(driveBit('C')), driveBit('C') | driveBit('S'));
    EXPECT_EQ(kernel.devicesCreated(), devices);
}

TEST_F(Volumes, ASharedLetterAttachedLaterKeepsTheActiveFlag)
{
    EXPECT_EQ(service.setDrives(driveBit('C')), driveBit('C'));
    EXPECT_EQ(service.setDrives(0), 0u);
    // T: leads to C:'s volume and is wanted alone: it joins the existing device, whose
    // Active flag stays cleared, and C:'s bit comes with it.
    kernel.assignLetter('T', *volumeC);
    EXPECT_EQ(service.setDrives(driveBit('T')), driveBit('C') | driveBit('T'));
    EXPECT_EQ(driver.slot(19), driver.slot(2));
    EXPECT_FALSE(active('T'));
}

TEST_F(Volumes, DismountEmptiesEverySlotAndTheNextSetDrivesAttachesAnew)
{
    kernel.assignLetter('S', *volumeC);
    const std::uint32_t mask = driveBit('C') | driveBit('S') | driveBit('D');
    EXPECT_EQ(service.setDrives(mask), mask);
    Device* old = driver.slot(2);
    const int devices = kernel.devicesCreated();

    kernel.dismount(*volumeC);
    EXPECT_EQ(driver.slot(2), nullptr);
    EXPECT_EQ(driver.slot(18), nullptr);
    EXPECT_NE(driver.slot(3), nullptr);
    EXPECT_TRUE(static_cast<SimDevice*>(old)->deleted);
    EXPECT_EQ(kernel.topOfStack(*volumeC), volumeC->fileSystemDevice);
    EXPECT_EQ(state().driveMask, driveBit('D'));

    // The volume is back (same mask as before): attached anew, for both letters.
    EXPECT_EQ(service.setDrives(mask), mask);
    EXPECT_NE(driver.slot(2), nullptr);
    EXPECT_EQ(driver.slot(2), driver.slot(18));
    EXPECT_EQ(kernel.devicesCreated(), devices + 1);
    EXPECT_TRUE(active('C'));
}

TEST_F(Volumes, AttachFailuresReleaseTheOpenAndLeaveTheLetterOut)
{
    struct Case {
        const char* what;
        std::function<void()> inject;
    };
    const Case cases[] = {
        { "no top device", [&] { kernel.lettersWithoutTopDevice.insert('D'); } },
        { "no filter device", [&] { kernel.filterDeviceFailure = STATUS_INSUFFICIENT_RESOURCES; } },
        { "attach refused", [&] { kernel.attachFailure = STATUS_UNSUCCESSFUL; } },
    };
    for (const Case& c : cases) {
        c.inject();
        const int live = kernel.devicesLive();
        EXPECT_EQ(service.setDrives(driveBit('D')), 0u) << c.what;
        EXPECT_EQ(driver.slot(3), nullptr) << c.what;
        EXPECT_EQ(kernel.openRootHandles(), 0) << c.what;
        EXPECT_EQ(kernel.devicesLive(), live) << c.what;
        kernel.lettersWithoutTopDevice.clear();
        kernel.filterDeviceFailure = STATUS_SUCCESS;
        kernel.attachFailure = STATUS_SUCCESS;
    }
    // Bits above Z: are not letters.
    EXPECT_EQ(service.setDrives(0xFC000000u | driveBit('D')), driveBit('D'));
}

TEST_F(Volumes, OtherRequestsPassThroughToTheFileSystem)
{
    EXPECT_EQ(service.setDrives(driveBit('C')), driveBit('C'));
    for (MajorFunction major : { MajorFunction::Read, MajorFunction::Write, MajorFunction::Cleanup, MajorFunction::Close, MajorFunction::DirectoryControl })
        EXPECT_EQ(kernel.sendRequest('C', major), STATUS_SUCCESS);
    EXPECT_EQ(kernel.volumeLog(*volumeC).passedThrough,
        (std::vector<MajorFunction> { MajorFunction::Read, MajorFunction::Write, MajorFunction::Cleanup, MajorFunction::Close, MajorFunction::DirectoryControl }));
}

TEST_F(Volumes, FastIoIsForwardedUnchangedOrAnsweredWithTheDefault)
{
    EXPECT_EQ(service.setDrives(driveBit('C')), driveBit('C'));
    Device* filter = driver.slot(2);
    volumeC->fastIoAnswer = 1;

    struct Case {
        FastIoEntry entry;
        std::uint32_t notForwarded;
    };
    const Case cases[] = {
        { FastIoEntry::FastIoCheckIfPossible, 0 },
        { FastIoEntry::FastIoRead, 0 },
        { FastIoEntry::FastIoWrite, 0 },
        { FastIoEntry::FastIoQueryBasicInfo, 0 },
        { FastIoEntry::FastIoLock, 0 },
        { FastIoEntry::FastIoUnlockAllByKey, 0 },
        { FastIoEntry::FastIoDeviceControl, 0 },
        { FastIoEntry::FastIoQueryNetworkOpenInfo, 0 },
        { FastIoEntry::AcquireForModWrite, STATUS_NOT_IMPLEMENTED },
        { FastIoEntry::MdlRead, 0 },
        { FastIoEntry::MdlWriteCompleteCompressed, 0 },
        { FastIoEntry::ReleaseForModWrite, STATUS_NOT_IMPLEMENTED },
        { FastIoEntry::AcquireForCcFlush, STATUS_NOT_IMPLEMENTED },
        { FastIoEntry::ReleaseForCcFlush, STATUS_NOT_IMPLEMENTED },
    };
    for (const Case& c : cases) {
        std::byte data[16] {};
        IoStatusBlock ioStatus;
        FastIoCall call;
        call.fileOffset = 4096;
        call.length = 16;
        call.wait = true;
        call.lockKey = 9;
        call.buffer = data;
        call.ioStatus = &ioStatus;
        const std::size_t before = kernel.volumeLog(*volumeC).fastIoCalls.size();
        EXPECT_EQ(kernel.fastIo('C', c.entry, call), 1u);
        auto calls = kernel.volumeLog(*volumeC).fastIoCalls;
        ASSERT_EQ(calls.size(), before + 1);
        EXPECT_EQ(calls.back().entry, c.entry);
        EXPECT_EQ(calls.back().device, volumeC->fileSystemDevice);
        EXPECT_EQ(calls.back().call, &call);

        // The table below lacks the entry: the default, and nothing reaches it.
        volumeC->fastIo.SizeOfFastIoDispatch = fastIoEntryOffset(c.entry);
        EXPECT_EQ(kernel.fastIo('C', c.entry, call), c.notForwarded);
        EXPECT_EQ(kernel.volumeLog(*volumeC).fastIoCalls.size(), before + 1);
        volumeC->fastIo.SizeOfFastIoDispatch = kFullFastIoTableSize;
        // Without a device, and on the control device, nothing is forwarded either.
        EXPECT_EQ(driver.fastIo(c.entry, call, nullptr), c.notForwarded);
        if (c.entry != FastIoEntry::FastIoDeviceControl) {
            EXPECT_EQ(driver.fastIo(c.entry, call, driver.controlDevice()), c.notForwarded);
        }
    }

    // An entry that is not set counts as missing.
    auto saved = volumeC->fastIo.routines[static_cast<std::size_t>(FastIoEntry::FastIoRead)];
    volumeC->fastIo.routines[static_cast<std::size_t>(FastIoEntry::FastIoRead)] = nullptr;
    FastIoCall read;
    EXPECT_EQ(driver.fastIo(FastIoEntry::FastIoRead, read, filter), 0u);
    volumeC->fastIo.routines[static_cast<std::size_t>(FastIoEntry::FastIoRead)] = saved;
}

TEST_F(Volumes, SectionEntriesFindTheFilterDeviceFromTheFileObject)
{
    EXPECT_EQ(service.setDrives(driveBit('C')), driveBit('C'));
    auto file = kernel.makeFileObject('C', "\\a.dll");
    FastIoCall call;
    call.fileObject = file.get();
    kernel.fastIoForFile(FastIoEntry::AcquireFileForNtCreateSection, call);
    kernel.fastIoForFile(FastIoEntry::ReleaseFileForNtCreateSection, call);
    auto calls = kernel.volumeLog(*volumeC).fastIoCalls;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].entry, FastIoEntry::AcquireFileForNtCreateSection);
    EXPECT_EQ(calls[1].entry, FastIoEntry::ReleaseFileForNtCreateSection);
    EXPECT_EQ(calls[0].device, volumeC->fileSystemDevice);

    // A volume without this driver's device: nothing happens.
    auto onD = kernel.makeFileObject('D', "\\a.dll");
    call.fileObject = onD.get();
    kernel.fastIoForFile(FastIoEntry::AcquireFileForNtCreateSection, call);
    EXPECT_TRUE(kernel.volumeLog(*volumeD).fastIoCalls.empty());
}

TEST_F(Volumes, QueryOpenSeesTheRequestAtTheLevelBelowAndIsNeverHeld)
{
    startService(driveBit('C'));
    sim::SimRequest request(kernel, MajorFunction::Create);
    request.file = kernel.makeFileObject('C', "\\a.exe");
    FastIoCall call;
    call.request = &request;
    EXPECT_EQ(kernel.fastIo('C', FastIoEntry::FastIoQueryOpen, call), 1u);
    auto calls = kernel.volumeLog(*volumeC).fastIoCalls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].requestLevelDevice, volumeC->fileSystemDevice);
    EXPECT_EQ(request.currentLevel(), nullptr);
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 0);
    EXPECT_EQ(state().readyFlag, 1);
}

} // namespace vz::driver::test
