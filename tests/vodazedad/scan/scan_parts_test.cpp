#include "common/files.h"
#include "tests/support/temp_dir.h"
#include "vodazedad/scan/folder_walker.h"
#include "vodazedad/scan/progress_panels.h"
#include "vodazedad/scan/protected_files.h"
#include "vodazedad/scan/scan_targets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <unistd.h>

namespace vz::scan {

TEST(ProgressPanels, StatisticsInBothForms)
{
    auto files = statisticsPanel(PanelForm::Files, 12, 3, "Eicar-Test-Signature", 125);
    EXPECT_EQ(files.title, "Statistics");
    EXPECT_EQ(files.labels, "Files scanned:\nTotal Infections found:\nLast virus found: \n\nTime");
    EXPECT_EQ(files.text, "12\n3\nEicar-Test-Signature\n\n02:05");
    auto processes = statisticsPanel(PanelForm::Processes, 1, 0, "---", 0);
    EXPECT_EQ(processes.labels.substr(0, processes.labels.find('\n')), "Processes scanned:");
    EXPECT_EQ(processes.text, "1\n0\n---\n\n00:00");
}

TEST(ProgressPanels, ActivityTextBreaksAt108And216)
{
    struct Case {
        std::size_t length;
        std::vector<std::size_t> breaks;
    } cases[] = { { 108, {} }, { 109, { 108 } }, { 216, { 108 } }, { 217, { 108, 216 } }, { 300, { 108, 216 } } };
    for (const auto& c : cases) {
        std::string text(c.length, 'x');
        auto panel = activityPanel(text);
        EXPECT_EQ(panel.title, "Current activity");
        std::vector<std::size_t> breaks;
        for (std::size_t i = 0; i < panel.text.size(); ++i) {
            if (panel.text[i] == '\n')
                breaks.push_back(i);
        }
        EXPECT_EQ(breaks, c.breaks) << c.length;
        EXPECT_EQ(panel.text.size(), c.length + c.breaks.size());
    }
    EXPECT_EQ(activityPanel("Gathering file information", "Starting scan...").title, "Starting scan...");
}

TEST(ProgressPanels, MarkerCircle)
{
    EXPECT_EQ(markerForPhase(0), (AnimationMarker { 32, 64 }));
    EXPECT_EQ(markerForPhase(4), (AnimationMarker { 20, 76 }));
    EXPECT_EQ(markerForPhase(8), (AnimationMarker { 8, 64 }));
    EXPECT_EQ(markerForPhase(12), (AnimationMarker { 19, 52 })); // cos is a hair below 0 there: cut, not rounded
    EXPECT_EQ(markerForPhase(2), (AnimationMarker { 28, 72 })); // 20 + 8.48, 64 + 8.48 cut
}

TEST(ScanTargets, EachCommandTakesItsDrives)
{
    std::vector<Drive> drives = {
        { 'C', "/", DriveType::Fixed, 1 },
        { 'D', "/boot/", DriveType::Fixed, 2 },
        { 'E', "/media/cd/", DriveType::CdRom, 3 },
        { 'F', "/media/usb/", DriveType::Removable, 4 },
        { 'G', "/mnt/nfs/", DriveType::Remote, 5 },
        { 'H', "/tmp/", DriveType::RamDisk, 6 },
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(*targetsFor(ScanCommand::EntireSystem, drives).targets, (V { "/", "/boot/", "/media/cd/", "/media/usb/", "/tmp/" }));
    EXPECT_EQ(targetsFor(ScanCommand::EntireSystem, drives).scanType, 0);
    EXPECT_EQ(*targetsFor(ScanCommand::HardDrives, drives).targets, (V { "/", "/boot/", "/media/usb/" }));
    EXPECT_EQ(targetsFor(ScanCommand::HardDrives, drives).scanType, 3);
    EXPECT_EQ(*targetsFor(ScanCommand::SystemAreas, drives).targets, (V { "/usr" }));
    EXPECT_EQ(targetsFor(ScanCommand::SystemAreas, drives).scanType, 2);
    EXPECT_EQ(*targetsFor(ScanCommand::RemovableMedia, drives).targets, (V { "/media/usb/" }));
    EXPECT_EQ(*targetsFor(ScanCommand::OpticalMedia, drives).targets, (V { "/media/cd/" }));
    EXPECT_EQ(targetsFor(ScanCommand::OpticalMedia, drives).scanType, 5);
    EXPECT_FALSE(targetsFor(ScanCommand::Folder, drives).targets);
    EXPECT_EQ(*targetsFor(ScanCommand::Scheduled, drives, { "/home/a", "/srv" }).targets, (V { "/home/a", "/srv" }));

    // Without drives of the kind: no job for the whole system and the hard drives; an
    // empty job for removable media and CDs.
    std::vector<Drive> remoteOnly = { { 'G', "/mnt/nfs/", DriveType::Remote, 5 } };
    EXPECT_FALSE(targetsFor(ScanCommand::EntireSystem, remoteOnly).runs);
    EXPECT_FALSE(targetsFor(ScanCommand::HardDrives, remoteOnly).runs);
    EXPECT_TRUE(targetsFor(ScanCommand::RemovableMedia, remoteOnly).runs);
    EXPECT_TRUE(targetsFor(ScanCommand::RemovableMedia, remoteOnly).targets->empty());
}

TEST(ProtectedFiles, HivesPageFilesAndSwapFiles)
{
    ProtectedFiles p("/usr", { "/swapfile", "/var/swap 1" });
    struct Case {
        const char* path;
        bool isProtected;
    } cases[] = {
        { "/usr/system32/config/SAM", true },
        { "/USR/system32/config/software.log", true },
        { "/usr/system32/config/sam.bak", false },
        { "/pagefile.sys", true },
        { "/data/PAGEFILE", true },
        { "pagefile.sys", false }, // "pagefile" must come after the first character
        { "/swapfile", true },
        { "/var/swap 1", true },
        { "/swapfile2", false },
        { "/home/user/notes.txt", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(p.isProtected(c.path), c.isProtected) << c.path;
}

// Walks a folder by its path and hands each file's full path over.
FolderWalker::Outcome walkPaths(const FolderWalker& walker, const std::string& path, const std::function<void(const std::string&)>& onPath)
{
    auto folder = files::Folder::open(path);
    if (!folder) {
        ADD_FAILURE() << folder.error().text();
        return FolderWalker::Outcome::Completed;
    }
    return walker.walk(std::make_shared<const files::Folder>(std::move(*folder)), path,
        [&](const std::shared_ptr<const files::Folder>&, const std::string&, const std::string& p) { onPath(p); },
        [](const std::string& p, const Error& e) { ADD_FAILURE() << p << ": " << e.text(); });
}

TEST(FolderWalker, FilesBeforeSubfoldersAndAbortEndsEverywhere)
{
    test::TempDir dir;
    dir.write("z.txt", "1");
    dir.write("sub/a.txt", "2");
    dir.write("sub/deeper/b.txt", "3");
    std::atomic<bool> abort { false };
    FolderWalker walker(abort, std::nullopt);
    std::vector<std::string> seen;
    EXPECT_EQ(walkPaths(walker, dir.path(), [&](const std::string& p) { seen.push_back(p); }), FolderWalker::Outcome::Completed);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], dir.file("z.txt"));
    EXPECT_EQ(seen[1], dir.file("sub/a.txt"));
    EXPECT_EQ(seen[2], dir.file("sub/deeper/b.txt"));

    seen.clear();
    EXPECT_EQ(walkPaths(walker, dir.path(), [&](const std::string& p) {
        seen.push_back(p);
        if (p.find("a.txt") != std::string::npos)
            abort = true;
    }), FolderWalker::Outcome::Aborted);
    EXPECT_EQ(seen.size(), 2u);
    long count = 0;
    abort = false;
    EXPECT_EQ(walker.count(std::make_shared<const files::Folder>(*files::Folder::open(dir.path())), dir.path(), count), FolderWalker::Outcome::Completed);
    EXPECT_EQ(count, 3);
}

TEST(FolderWalker, AWalkFromADriveRootStaysOnItsFileSystem)
{
    // /dev/shm is a file system of its own below /dev on Linux machines.
    auto dev = files::status("/dev");
    auto shm = files::status("/dev/shm");
    if (!dev || !shm || dev->device == shm->device || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no mount point below /dev to test with";
    std::string marker = "/dev/shm/vz-walk-test-" + std::to_string(::getpid());
    ASSERT_TRUE(files::appendLines(marker, { "x" }).ok());
    auto seenMarker = [&](std::optional<std::uint64_t> device) {
        std::atomic<bool> abort { false };
        bool seen = false;
        auto folder = files::Folder::open("/dev");
        FolderWalker(abort, device).walk(std::make_shared<const files::Folder>(std::move(*folder)), "/dev",
            [&](const std::shared_ptr<const files::Folder>&, const std::string&, const std::string& p) { seen = seen || p == marker; },
            [](const std::string&, const Error&) {});
        return seen;
    };
    EXPECT_FALSE(seenMarker(dev->device));
    EXPECT_TRUE(seenMarker(std::nullopt));
    ignoreError(files::remove(marker), "a marker left in /dev/shm is harmless and small");
}

} // namespace vz::scan
