// What the record files must withstand: crafted values, failing rewrites, two writing
// programs at once, and an installation without a Reports folder.
#include "common/files.h"
#include "common/records/guard_record_writer.h"
#include "common/records/infection_log.h"
#include "common/records/quarantine_index.h"
#include "common/records/scan_log.h"
#include "common/records/scan_report.h"
#include "tests/common/records/record_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::records {
namespace {

using test::FixedClock;
using test::Installation;
using test::sampleTime;
using vz::test::readAll;

// A file name that tries to end its entry early and add entries of its own.
const std::string ForgedName = "/tmp/x\r\n***\n05/03/2006 14:07\nAV9.QRT\nEvil\n/etc/passwd\t\x1b\\n";

std::size_t lineCount(const std::string& path)
{
    auto lines = files::readLines(path);
    return lines ? lines->size() : 0;
}

// Runs fn in a child process; answers whether it returned true.
bool inChild(const std::function<bool()>& fn)
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(fn() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(RecordSafety, CraftedValuesNeverAddLinesOrEntries)
{
    Installation inst;
    std::string report = inst.location.reportPath(sampleTime());

    ScanSummary scan;
    scan.reportPath = ForgedName;
    scan.start = sampleTime();
    scan.targets = { ForgedName, "/b" };
    ScanLogEntry scanLogged = scanEntry(scan);
    InfectionLogEntry infection = infectionEntry(sampleTime(), ForgedName, "Evil\nvirus");
    QuarantineEntry item = quarantineEntry(sampleTime(), "AV0.QRT", ForgedName, ForgedName);
    ReportRecord record = fileRecord(RecordCode::Quarantined, ForgedName, "Evil\tvirus", "done\r\n09");

    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(appendScanLogEntry(inst.location, scanLogged).ok());
        ASSERT_TRUE(appendInfectionLogEntry(inst.location, infection).ok());
        ASSERT_TRUE(appendQuarantineEntry(inst.location, item).ok());
        ASSERT_TRUE(appendReportRecord(report, record).ok());
    }

    EXPECT_EQ(lineCount(inst.location.scanLog()), 18u);
    EXPECT_EQ(lineCount(inst.location.infectionLog()), 6u);
    EXPECT_EQ(lineCount(inst.location.quarantineIndex()), 8u);
    EXPECT_EQ(lineCount(report), 4u);

    auto scans = readScanLog(inst.location);
    ASSERT_TRUE(scans.ok());
    EXPECT_EQ(*scans, (std::vector<ScanLogEntry> { scanLogged, scanLogged }));
    auto infections = readInfectionLog(inst.location);
    ASSERT_TRUE(infections.ok());
    EXPECT_EQ(*infections, (std::vector<InfectionLogEntry> { infection, infection }));
    auto items = readQuarantineIndex(inst.location);
    ASSERT_TRUE(items.ok());
    EXPECT_EQ(*items, (std::vector<QuarantineEntry> { item, item }));
    EXPECT_EQ((*items)[0].formerPath, ForgedName); // a restore goes exactly where the file was
    EXPECT_EQ(quarantineCount(inst.location), 2);
    auto records = readScanReport(report);
    ASSERT_TRUE(records.ok());
    EXPECT_EQ(*records, (std::vector<ReportRecord> { record, record }));
    EXPECT_EQ((*records)[0].fields.size(), 3u);

    // A rewrite carries the crafted entries over unchanged.
    ASSERT_TRUE(appendQuarantineEntry(inst.location, quarantineEntry(sampleTime(), "AV1.QRT", "v", "/gone")).ok());
    ASSERT_TRUE(rewriteQuarantineIndex(inst.location, [](const QuarantineEntry& e) { return e.formerPath != "/gone"; }).ok());
    auto rewritten = readQuarantineIndex(inst.location);
    ASSERT_TRUE(rewritten.ok());
    EXPECT_EQ(*rewritten, (std::vector<QuarantineEntry> { item, item }));
}

TEST(RecordSafety, RewritesReplaceTheFileWholeAndLeaveItWholeWhenWritingFails)
{
    struct Kind {
        const char* name;
        std::function<std::string(const RecordLocation&)> file;
        std::function<void(const RecordLocation&, int)> append;
        std::function<Result<void>(const RecordLocation&)> dropFirst;
    };
    const Kind kinds[] = {
        { "scan log", [](const RecordLocation& l) { return l.scanLog(); },
            [](const RecordLocation& l, int n) {
                ScanSummary s;
                s.reportPath = "/r" + std::to_string(n);
                ASSERT_TRUE(appendScanLogEntry(l, scanEntry(s)).ok());
            },
            [](const RecordLocation& l) { return rewriteScanLog(l, [](const ScanLogEntry& e) { return e.reportPath != "/r0"; }); } },
        { "infection log", [](const RecordLocation& l) { return l.infectionLog(); },
            [](const RecordLocation& l, int n) { ASSERT_TRUE(appendInfectionLogEntry(l, infectionEntry(sampleTime(), "/p" + std::to_string(n), "v")).ok()); },
            [](const RecordLocation& l) { return rewriteInfectionLog(l, [](const InfectionLogEntry& e) { return e.path != "/p0"; }); } },
        { "quarantine index", [](const RecordLocation& l) { return l.quarantineIndex(); },
            [](const RecordLocation& l, int n) { ASSERT_TRUE(appendQuarantineEntry(l, quarantineEntry(sampleTime(), quarantineFileName(n), "v", "/p")).ok()); },
            [](const RecordLocation& l) { return rewriteQuarantineIndex(l, [](const QuarantineEntry& e) { return e.fileName != "AV0.QRT"; }); } },
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        Installation inst;
        for (int n = 0; n < 200; ++n)
            kind.append(inst.location, n);
        std::string file = kind.file(inst.location);
        std::string original = readAll(file);

        // A full disk: the child may write only a few bytes per file, so the new
        // index cannot be written whole.
        bool failed = inChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit { 4096, 4096 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            return !kind.dropFirst(inst.location).ok();
        });
        EXPECT_TRUE(failed);
        EXPECT_EQ(readAll(file), original);

        // A rewrite that succeeds replaces the file by a new one: a second name for
        // the old file still holds all of the old content, never a truncated part.
        std::string oldName = inst.dir.file("old-link");
        ASSERT_EQ(::link(file.c_str(), oldName.c_str()), 0);
        ASSERT_TRUE(kind.dropFirst(inst.location).ok());
        EXPECT_EQ(readAll(oldName), original);
        EXPECT_LT(readAll(file).size(), original.size());
        EXPECT_TRUE(original.ends_with(readAll(file)));

        // No temporary file is left beside the records.
        auto left = files::listDirectory(inst.location.reportsFolder());
        ASSERT_TRUE(left.ok());
        EXPECT_EQ(left->size(), 1u);
    }
}

TEST(RecordSafety, TwoProgramsAppendingAtOnceNeverInterleaveEntries)
{
    Installation inst;
    FixedClock clock(sampleTime());
    constexpr int PerWriter = 300;
    // Long values, so that one entry is far larger than an atomic pipe write.
    auto writer = [&](char tag) {
        return [&inst, &clock, tag] {
            GuardRecordWriter guard(inst.location, clock);
            std::string path = "/" + std::string(5000, tag);
            bool ok = true;
            for (int i = 0; i < PerWriter; ++i) {
                ok = appendInfectionLogEntry(inst.location, infectionEntry(sampleTime(), path, std::string(1, tag))).ok() && ok;
                ok = appendQuarantineEntry(inst.location, quarantineEntry(sampleTime(), quarantineFileName(i), std::string(1, tag), path)).ok() && ok;
                ok = guard.newGuardEntry(path).ok() && ok;
            }
            return ok;
        };
    };
    pid_t a = ::fork();
    if (a == 0)
        ::_exit(writer('a')() ? 0 : 1);
    bool bOk = inChild(writer('b'));
    int status = 0;
    ::waitpid(a, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(bOk);

    auto infections = readInfectionLog(inst.location);
    ASSERT_TRUE(infections.ok());
    ASSERT_EQ(infections->size(), 2u * PerWriter);
    for (const auto& e : *infections)
        EXPECT_EQ(e.path, "/" + std::string(5000, e.virusName[0]));
    auto items = readQuarantineIndex(inst.location);
    ASSERT_TRUE(items.ok());
    ASSERT_EQ(items->size(), 2u * PerWriter);
    for (const auto& e : *items)
        EXPECT_EQ(e.formerPath, "/" + std::string(5000, e.virusName[0]));
    auto scans = readScanLog(inst.location);
    ASSERT_TRUE(scans.ok());
    ASSERT_EQ(scans->size(), 2u * PerWriter);
    for (const auto& e : *scans)
        EXPECT_EQ(e.infections, 1);
}

TEST(RecordSafety, WithoutReportsFolderNothingIsWrittenAndNothingFailsHard)
{
    vz::test::TempDir dir; // an installation without Reports/
    RecordLocation location(dir.path());
    FixedClock clock(sampleTime());
    std::string report = location.reportPath(sampleTime());

    EXPECT_FALSE(appendScanLogEntry(location, startupEntry(sampleTime())).ok());
    EXPECT_FALSE(appendInfectionLogEntry(location, infectionEntry(sampleTime(), "/a", "v")).ok());
    EXPECT_FALSE(appendQuarantineEntry(location, quarantineEntry(sampleTime(), "AV0.QRT", "v", "/a")).ok());
    EXPECT_FALSE(appendReportRecord(report, descriptionRecord({ "/a" })).ok());
    GuardRecordWriter guard(location, clock);
    guard.recordDetection("/a", "v");
    EXPECT_FALSE(guard.reportLines(scanTimeRecord(1)).ok());

    EXPECT_FALSE(readScanLog(location).ok());
    EXPECT_FALSE(readInfectionLog(location).ok());
    EXPECT_FALSE(readScanReport(report).ok());
    EXPECT_EQ(quarantineCount(location), 0);
    EXPECT_FALSE(rewriteScanLog(location, [](const ScanLogEntry&) { return false; }).ok());

    auto left = files::listDirectory(dir.path());
    ASSERT_TRUE(left.ok());
    EXPECT_TRUE(left->empty()); // no folder made, no file written
}

} // namespace
} // namespace vz::records
