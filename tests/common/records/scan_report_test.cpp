#include "common/records/scan_report.h"

#include "common/files.h"
#include "common/lang/local_text.h"
#include "common/records/guard_record_writer.h"

#include "tests/common/records/record_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>

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

TEST(ScanReport, EachScanStartedInOneSecondGetsAReportOfItsOwn)
{
    Installation inst;
    auto first = createScanReport(inst.location, sampleTime());
    auto second = createScanReport(inst.location, sampleTime());
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(*first, inst.location.reportPath(sampleTime()));
    LocalDateTime later = sampleTime();
    later.second = 10;
    EXPECT_EQ(*second, inst.location.reportPath(later));
    EXPECT_EQ(*second, inst.dir.file("Reports/05.03.2006  14.07.10.txt"));
    // Each is a new empty file; what one scan writes never shows in the other's.
    EXPECT_EQ(readAll(*first), "");
    ASSERT_TRUE(appendReportRecord(*first, filesHandledRecord(1)).ok());
    ASSERT_TRUE(appendReportRecord(*second, filesHandledRecord(2)).ok());
    EXPECT_EQ(readScanReport(*second)->size(), 1u);
    EXPECT_EQ(readScanReport(*second)->front().firstText(), "2");
}

TEST(ScanReport, ATakenNameMovesOnByTheCalendar)
{
    struct Case {
        const char* name;
        LocalDateTime start;
        std::vector<const char*> taken;
        const char* created;
    } cases[] = {
        { "the last second of a year", { 2026, 12, 31, 23, 59, 59, 4 }, { "31.12.2026  23.59.59.txt" }, "01.01.2027  00.00.00.txt" },
        { "a leap day", { 2024, 2, 28, 23, 59, 59, 3 }, { "28.02.2024  23.59.59.txt" }, "29.02.2024  00.00.00.txt" },
        { "several seconds taken", { 2026, 3, 5, 14, 7, 58, 4 },
            { "05.03.2026  14.07.58.txt", "05.03.2026  14.07.59.txt", "05.03.2026  14.08.00.txt" }, "05.03.2026  14.08.01.txt" },
        { "a folder in the way", { 2026, 3, 5, 14, 7, 9, 4 }, { "05.03.2026  14.07.09.txt/" }, "05.03.2026  14.07.10.txt" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        for (const char* name : c.taken) {
            std::string taken = std::string("Reports/") + name;
            if (taken.ends_with('/'))
                inst.dir.mkdir(taken.substr(0, taken.size() - 1));
            else
                inst.dir.write(taken, "03another scan\r\n09\r\n");
        }
        auto created = createScanReport(inst.location, c.start);
        ASSERT_TRUE(created.ok());
        EXPECT_EQ(*created, inst.dir.file(std::string("Reports/") + c.created));
        EXPECT_EQ(readAll(*created), "");
        for (const char* name : c.taken) {
            if (!std::string_view(name).ends_with('/')) {
                EXPECT_EQ(readAll(inst.dir.file(std::string("Reports/") + name)), "03another scan\r\n09\r\n");
            }
        }
    }
}

TEST(ScanReport, NoReportsFolderIsTheCreationError)
{
    vz::test::TempDir dir;
    RecordLocation location(dir.path());
    auto created = createScanReport(location, sampleTime());
    ASSERT_FALSE(created.ok());
    EXPECT_EQ(created.error().code, ENOENT);
    auto left = files::listDirectory(dir.path());
    ASSERT_TRUE(left.ok());
    EXPECT_TRUE(left->empty());
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
