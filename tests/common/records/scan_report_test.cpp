#include "common/records/scan_report.h"

#include "common/lang/local_text.h"
#include "common/records/guard_record_writer.h"

#include "tests/common/records/record_fixture.h"

#include <gtest/gtest.h>

namespace vz::records {
namespace {

using test::Installation;
using test::sampleTime;
using vz::test::readAll;

TEST(ScanReport, NameHasTwoBlanksBetweenDateAndTime)
{
    RecordLocation location("/opt/vodazedad");
    EXPECT_EQ(location.reportPath(sampleTime()), "/opt/vodazedad/Reports/05.03.2006  14.07.09.txt");
}

TEST(ScanReport, CleanScanHoldsDescriptionStartCountAndTime)
{
    Installation inst;
    std::string report = inst.location.reportPath(sampleTime());
    for (const auto& r : { descriptionRecord({ "/home/ann" }), startRecord(sampleTime()), filesHandledRecord(1234), scanTimeRecord(7) })
        ASSERT_TRUE(appendReportRecord(report, r).ok());
    EXPECT_EQ(readAll(report),
        "00Scan of /home/ann\r\n09\r\n"
        "0805.03.2006  14:07\r\n09\r\n"
        "021234\r\n09\r\n"
        "01Scan time: 7 s\r\n09\r\n");
}

TEST(ScanReport, RoundTripsEveryRecordKind)
{
    Installation inst;
    std::string report = inst.location.reportPath(sampleTime());
    const std::vector<ReportRecord> written = {
        descriptionRecord({ "/home/ann", "/srv/%d" }),
        startRecord(sampleTime()),
        problemRecord("/home/ann/locked.doc", "Access denied"),
        fileRecord(RecordCode::InfectionLeft, "/home/ann/a.exe", "Eicar", "Virus can't be removed"),
        fileRecord(RecordCode::Cleaned, "/home/ann/b.exe", "W32/%s", "File cleaned successfully"),
        fileRecord(RecordCode::Deleted, "/home/ann/c.exe", "Eicar", "File deleted"),
        fileRecord(RecordCode::Quarantined, "/home/ann/100%d.exe", "Eicar", "File quarantained"),
        abortRecord("", "/home/ann/d.exe"),
        userAbortRecord(),
        filesHandledRecord(0),
        scanTimeRecord(3600),
    };
    for (const auto& r : written)
        ASSERT_TRUE(appendReportRecord(report, r).ok());
    auto read = readScanReport(report);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(*read, written);
    EXPECT_EQ((*read)[6].path(), "/home/ann/100%d.exe");
    EXPECT_EQ((*read)[6].secondText, "/home/ann/100%d.exe");
    EXPECT_EQ((*read)[2].firstText(), "/home/ann/locked.doc\t\tAccess denied");
    EXPECT_EQ((*read)[8].firstText(), "Scanning aborted by user");

    EXPECT_EQ(readAll(report).find("10/home/ann/100%d.exe\tEicar\tFile quarantained\r\n09/home/ann/100%d.exe\r\n") != std::string::npos, true);
}

TEST(ScanReport, ReaderStopsAtTheFirstEmptyLine)
{
    Installation inst;
    std::string report = inst.dir.write("Reports/r.txt",
        "00Scan of /a\n09\n"
        "03/a/x\tEicar\tVirus can't be removed\r\n09/a/x\r\n"
        "09stray\r\n"            // a second line without its first
        "02\r\n"                 // no second line: a record cut short, passed over
        "021\r\n09\r\n"
        "01Scan time: 1 s\r\n09\r\n"
        "\r\n"
        "03/never\tread\t\r\n09/never\r\n");
    auto read = readScanReport(report);
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read->size(), 4u);
    EXPECT_EQ((*read)[1].code, RecordCode::InfectionLeft);
    EXPECT_EQ((*read)[1].virusName(), "Eicar");
    EXPECT_EQ((*read)[1].secondText, "/a/x");
    EXPECT_EQ((*read)[2].code, RecordCode::FilesHandled);
    EXPECT_EQ((*read)[2].firstText(), "1");
    EXPECT_EQ((*read)[3].code, RecordCode::ScanTime);
}

// A language whose texts are marked, with a format text that moves the name.
class MarkedTexts final : public TextSource {
public:
    std::string localText(std::string_view key, std::string_view fallback) const override
    {
        if (key == "guardfoundvirus")
            return "Virus %s gefunden";
        return "<" + std::string(key) + ">" + std::string(fallback);
    }
};

TEST(ScanReport, TextsComeFromTheCurrentLanguage)
{
    struct ScopedLanguage {
        ScopedLanguage() { installTextSource(std::make_shared<MarkedTexts>()); }
        ~ScopedLanguage() { installTextSource(nullptr); }
    } language;
    EXPECT_EQ(descriptionRecord({ "/a", "/b" }).firstText(), "<Scan of>Scan of /a; /b");
    EXPECT_EQ(scanTimeRecord(12).firstText(), "<ScanTime>Scan time: 12 s");
    EXPECT_EQ(userAbortRecord().firstText(), "<ScanAbort>Scanning aborted by user");
    EXPECT_EQ(guardFoundVirusText("Eicar"), "Virus Eicar gefunden");
}

} // namespace
} // namespace vz::records
