#include "common/records/guard_record_writer.h"

#include "common/files.h"
#include "common/records/infection_log.h"
#include "common/records/scan_log.h"
#include "common/records/scan_report.h"
#include "tests/common/records/record_fixture.h"

#include <gtest/gtest.h>

namespace vz::records {
namespace {

using test::FixedClock;
using test::Installation;
using test::sampleTime;
using vz::test::readAll;

TEST(GuardRecordWriter, DetectionMakesOneReportWithExactlyOneInfectionRecord)
{
    Installation inst;
    FixedClock clock(sampleTime());
    GuardRecordWriter writer(inst.location, clock);
    writer.recordDetection("/home/ann/dl/a.exe", "Eicar %d");

    std::string report = inst.location.reportPath(sampleTime());
    EXPECT_EQ(writer.guardReportPath(), report);
    EXPECT_EQ(readAll(report), "03/home/ann/dl/a.exe\tEicar %d\tGuard detected virus Eicar %d\r\n09/home/ann/dl/a.exe\r\n");

    EXPECT_EQ(readAll(inst.location.scanLog()),
        "***\r\n" + report + "\r\n05/03/2006 14:07\r\n0\r\n2\r\n/home/ann/dl/a.exe\r\n0\r\n0\r\n1\r\n");
    auto entries = readScanLog(inst.location);
    ASSERT_TRUE(entries.ok());
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].status(), ScanStatus::InfectionsFound);
    EXPECT_EQ((*entries)[0].infections, 1);

    auto infections = readInfectionLog(inst.location);
    ASSERT_TRUE(infections.ok());
    ASSERT_EQ(infections->size(), 1u);
    EXPECT_EQ((*infections)[0], (InfectionLogEntry { "05/03/2006 14:07", "/home/ann/dl/a.exe", "Eicar %d" }));

    // The next detection starts a report of its own.
    clock.time.second = 10;
    writer.recordDetection("/home/ann/dl/b.exe", "Eicar");
    EXPECT_NE(writer.guardReportPath(), report);
    auto second = readScanReport(writer.guardReportPath());
    ASSERT_TRUE(second.ok());
    ASSERT_EQ(second->size(), 1u);
    EXPECT_EQ((*second)[0].code, RecordCode::InfectionLeft);
}

TEST(GuardRecordWriter, ReportLinesGoToTheReportLastStarted)
{
    Installation inst;
    FixedClock clock(sampleTime());
    GuardRecordWriter writer(inst.location, clock);
    EXPECT_FALSE(writer.reportLines(problemRecord("/x", "y")).ok()); // no report yet
    ASSERT_TRUE(writer.newGuardEntry("/x").ok());
    ASSERT_TRUE(writer.reportLines(problemRecord("/x", "y")).ok());
    EXPECT_EQ(readAll(writer.guardReportPath()), "07/x\t\ty\r\n09/x\r\n");
}

TEST(GuardRecordWriter, DetectionsInOneSecondNeverShareAReport)
{
    Installation inst;
    FixedClock clock(sampleTime());
    // A scan started in this second holds the first name already.
    auto scanReport = createScanReport(inst.location, sampleTime());
    ASSERT_TRUE(scanReport.ok());
    ASSERT_TRUE(appendReportRecord(*scanReport, descriptionRecord({ "/home" })).ok());

    GuardRecordWriter writer(inst.location, clock);
    writer.recordDetection("/a.exe", "Eicar");
    std::string first = writer.guardReportPath();
    writer.recordDetection("/b.exe", "W32");
    std::string second = writer.guardReportPath();
    EXPECT_EQ(first, inst.dir.file("Reports/05.03.2006  14.07.10.txt"));
    EXPECT_EQ(second, inst.dir.file("Reports/05.03.2006  14.07.11.txt"));

    EXPECT_EQ(readScanReport(*scanReport)->size(), 1u); // the scan's report untouched
    auto a = readScanReport(first);
    auto b = readScanReport(second);
    ASSERT_TRUE(a.ok() && b.ok());
    ASSERT_EQ(a->size(), 1u);
    ASSERT_EQ(b->size(), 1u);
    EXPECT_EQ((*a)[0].path(), "/a.exe");
    EXPECT_EQ((*b)[0].path(), "/b.exe");
    // Each scan entry names the report its detection went into.
    auto entries = readScanLog(inst.location);
    ASSERT_TRUE(entries.ok());
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].reportPath, first);
    EXPECT_EQ((*entries)[1].reportPath, second);
}

TEST(GuardRecordWriter, FoundVirusTextNeverTreatsTheNameAsAFormat)
{
    EXPECT_EQ(guardFoundVirusText("W32/%s%n%d"), "Guard detected virus W32/%s%n%d");
}

} // namespace
} // namespace vz::records
