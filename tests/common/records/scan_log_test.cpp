#include "common/records/scan_log.h"

#include "common/files.h"
#include "tests/common/records/record_fixture.h"

#include <gtest/gtest.h>

namespace vz::records {
namespace {

using test::Installation;
using test::sampleTime;
using vz::test::readAll;

ScanSummary folderScan()
{
    ScanSummary s;
    s.reportPath = "/opt/vz/Reports/05.03.2006  14.07.09.txt";
    s.start = sampleTime();
    s.scanType = ScanType::Folder;
    s.targets = { "/home/ann", "/srv/data" };
    s.durationSeconds = 125;
    s.warnings = 1;
    s.infections = 0;
    return s;
}

TEST(ScanLog, WritesScanAndStartupEntriesLineForLine)
{
    Installation inst;
    ASSERT_TRUE(appendScanLogEntry(inst.location, scanEntry(folderScan())).ok());
    ASSERT_TRUE(appendScanLogEntry(inst.location, startupEntry(sampleTime())).ok());

    EXPECT_EQ(readAll(inst.location.scanLog()),
        "***\r\n"
        "/opt/vz/Reports/05.03.2006  14.07.09.txt\r\n"
        "05/03/2006 14:07\r\n"
        "0\r\n"
        "96\r\n"
        "/home/ann; /srv/data\r\n"
        "02:05\r\n"
        "1\r\n"
        "0\r\n"
        "***\r\n"
        "Startup\r\n"
        "05/03/2006 14:07\r\n"
        "2\r\n"
        "0\r\n"
        "\r\n"
        "\r\n"
        "\r\n"
        "\r\n");
}

TEST(ScanLog, RoundTripsEveryKindOfEntry)
{
    Installation inst;
    ScanSummary aborted = folderScan();
    aborted.aborted = true;
    aborted.infections = 4;
    std::vector<ScanLogEntry> written = {
        scanEntry(folderScan()),
        scanEntry(aborted),
        startupEntry(sampleTime()),
    };
    ScanLogEntry memory = scanEntry(folderScan());
    memory.resultCode = scanResultCode(ScanType::Memory, false, 0);
    memory.reportPath = inst.location.reportPath(sampleTime()); // names no file
    written.push_back(memory);
    for (const auto& e : written)
        ASSERT_TRUE(appendScanLogEntry(inst.location, e).ok());

    auto read = readScanLog(inst.location);
    ASSERT_TRUE(read.ok()) << read.error().text();
    EXPECT_EQ(*read, written);
    EXPECT_FALSE((*read)[2].isScan());
    EXPECT_EQ((*read)[1].status(), ScanStatus::Aborted);
    EXPECT_EQ((*read)[3].scanType(), ScanType::Memory);
}

TEST(ScanLog, ResultCodeIsTypeTimesSixteenPlusStatus)
{
    struct Case {
        int type;
        bool aborted;
        long infections;
        int code;
    } cases[] = {
        { ScanType::Folder, false, 0, 96 },        // a clean folder scan
        { ScanType::Folder, false, 3, 98 },        // infections found
        { ScanType::Folder, true, 3, 97 },         // aborted wins over infections
        { ScanType::Folder, true, 0, 97 },
        { ScanType::EntireSystem, false, 1, 2 },
        { ScanType::Memory, false, 0, 16 },
        { ScanType::OpticalMedia, true, 0, 81 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(scanResultCode(c.type, c.aborted, c.infections), c.code) << c.type << " " << c.aborted << " " << c.infections;
    EXPECT_EQ(formatDuration(0), "00:00");
    EXPECT_EQ(formatDuration(59), "00:59");
    EXPECT_EQ(formatDuration(6000), "100:00");
}

TEST(ScanLog, ReaderResynchronisesOnStarsAndDropsACutEntry)
{
    Installation inst;
    // Written by an older version: LF only in one part, stray lines, "***" inside a
    // longer line, and an entry cut short at the end.
    inst.dir.write("Reports/index.dat",
        "garbage\r\n"
        "more garbage\n"
        "--***--\r\n/r1.txt\r\n01/01/2005 10:00\r\n0\r\n98\r\n/a\r\n00:01\r\n0\r\n2\r\n"
        "\r\n"
        "***\n/r2.txt\n02/01/2005 11:00\n0\n96\n/b\n00:02\n5\n0\n"
        "***\n/info\n02/01/2005 11:30\n\n0\n\n\n\n\n"
        "***\r\n/r3.txt\r\n03/01/2005 12:00\r\n");
    auto read = readScanLog(inst.location);
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read->size(), 3u);
    EXPECT_FALSE((*read)[2].isScan()); // only the kind "0" is a scan entry
    EXPECT_EQ((*read)[0].reportPath, "/r1.txt");
    EXPECT_EQ((*read)[0].infections, 2);
    EXPECT_EQ((*read)[1].reportPath, "/r2.txt");
    EXPECT_EQ((*read)[1].warnings, 5);
}

TEST(ScanLog, RewriteKeepsTheOtherEntriesWithTheirExactLines)
{
    Installation inst;
    // The first entry holds lines no writer of ours would produce; a rewrite keeps them.
    inst.dir.write("Reports/index.dat",
        "*** old\r\n/r1.txt\r\n01/01/2005 10:00\r\n0\r\n98\r\n/a\r\n0:1\r\n007\r\n2\r\n"
        "***\r\n/r2.txt\r\n02/01/2005 11:00\r\n0\r\n96\r\n/b\r\n00:02\r\n0\r\n0\r\n"
        "***\r\nStartup\r\n03/01/2005 12:00\r\n2\r\n0\r\n\r\n\r\n\r\n\r\n");
    ASSERT_TRUE(rewriteScanLog(inst.location, [](const ScanLogEntry& e) { return e.reportPath != "/r2.txt"; }).ok());
    EXPECT_EQ(readAll(inst.location.scanLog()),
        "*** old\r\n/r1.txt\r\n01/01/2005 10:00\r\n0\r\n98\r\n/a\r\n0:1\r\n007\r\n2\r\n"
        "***\r\nStartup\r\n03/01/2005 12:00\r\n2\r\n0\r\n\r\n\r\n\r\n\r\n");

    // Keeping everything writes nothing at all.
    auto before = files::status(inst.location.scanLog());
    ASSERT_TRUE(rewriteScanLog(inst.location, [](const ScanLogEntry&) { return true; }).ok());
    EXPECT_EQ(readAll(inst.location.scanLog()).size(), before->size);
}

} // namespace
} // namespace vz::records
