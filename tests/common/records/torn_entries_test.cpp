// Record files left with an entry cut short (a crash, a full disk, an older version):
// the readers pass over the damaged lines and read every whole entry after it as it
// was written, and the appends that follow start on lines of their own.
#include "common/files.h"
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

using test::Installation;
using test::sampleTime;
using vz::test::readAll;

// One kind of record file, seen through its writer and its reader. Entry n is told
// apart by its values; entry 1 is the one the tests cut. key() writes an entry's
// values joined by "|" in line order, so an entry read with its last line cut has a
// key that begins the whole entry's key.
struct Kind {
    const char* name;
    std::function<std::string(const RecordLocation&)> file;
    std::function<Result<void>(const RecordLocation&, int n)> append;
    std::function<std::vector<std::string>(const RecordLocation&)> keys;
    std::function<std::string(int n)> key;
};

std::string join(const std::vector<std::string>& values)
{
    std::string out;
    for (const auto& v : values)
        out += (out.empty() ? "" : "|") + v;
    return out;
}

// Entry 2 holds a line end in a value, stored in the escaped form.
std::string pathOf(int n)
{
    return n == 2 ? "/home/ann/two\nlines.exe" : "/home/ann/file" + std::to_string(n) + ".exe";
}

QuarantineEntry quarantineItem(int n)
{
    return quarantineEntry(sampleTime(), quarantineFileName(n), "Virus" + std::to_string(n), pathOf(n));
}

InfectionLogEntry infection(int n)
{
    return infectionEntry(sampleTime(), pathOf(n), "Virus" + std::to_string(n));
}

ScanLogEntry scan(int n)
{
    ScanSummary s;
    s.reportPath = "/opt/vz/Reports/r" + std::to_string(n) + ".txt";
    s.start = sampleTime();
    s.targets = { pathOf(n) };
    s.durationSeconds = 61;
    s.warnings = 3;
    s.infections = 12345 + n;
    return scanEntry(s);
}

ReportRecord record(int n)
{
    return fileRecord(RecordCode::Quarantined, pathOf(n), "Virus" + std::to_string(n), "File quarantained");
}

std::string keyOf(const QuarantineEntry& e) { return join({ e.dateTime, e.fileName, e.virusName, e.formerPath }); }
std::string keyOf(const InfectionLogEntry& e) { return join({ e.dateTime, e.path, e.virusName }); }
std::string keyOf(const ScanLogEntry& e)
{
    return join({ e.reportPath, e.dateTime, std::to_string(e.kind), std::to_string(e.resultCode), e.task, e.duration,
        std::to_string(e.warnings), std::to_string(e.infections) });
}
std::string keyOf(const ReportRecord& r) { return join({ std::to_string(static_cast<int>(r.code)), r.firstText(), r.secondText }); }

template<typename Entries>
std::vector<std::string> keysOf(const Entries& entries)
{
    std::vector<std::string> keys;
    if (entries) {
        for (const auto& e : *entries)
            keys.push_back(keyOf(e));
    }
    return keys;
}

std::string reportOf(const RecordLocation& l)
{
    return l.reportPath(sampleTime());
}

const Kind Kinds[] = {
    { "quarantine index", [](const RecordLocation& l) { return l.quarantineIndex(); },
        [](const RecordLocation& l, int n) { return appendQuarantineEntry(l, quarantineItem(n)); },
        [](const RecordLocation& l) { return keysOf(readQuarantineIndex(l)); },
        [](int n) { return keyOf(quarantineItem(n)); } },
    { "infection log", [](const RecordLocation& l) { return l.infectionLog(); },
        [](const RecordLocation& l, int n) { return appendInfectionLogEntry(l, infection(n)); },
        [](const RecordLocation& l) { return keysOf(readInfectionLog(l)); },
        [](int n) { return keyOf(infection(n)); } },
    { "scan log", [](const RecordLocation& l) { return l.scanLog(); },
        [](const RecordLocation& l, int n) { return appendScanLogEntry(l, scan(n)); },
        [](const RecordLocation& l) { return keysOf(readScanLog(l)); },
        [](int n) { return keyOf(scan(n)); } },
    { "scan report", reportOf,
        [](const RecordLocation& l, int n) { return appendReportRecord(reportOf(l), record(n)); },
        [](const RecordLocation& l) { return keysOf(readScanReport(reportOf(l))); },
        [](int n) { return keyOf(record(n)); } },
};

// What one entry adds to its file, as it stands on disk.
std::string storedEntry(const Kind& kind, int n)
{
    Installation inst;
    EXPECT_TRUE(kind.append(inst.location, n).ok());
    return readAll(kind.file(inst.location));
}

TEST(TornEntries, EveryCutOfAnEntryLeavesTheEntriesAroundItWhole)
{
    for (const auto& kind : Kinds) {
        SCOPED_TRACE(kind.name);
        const std::string torn = storedEntry(kind, 1);
        const std::size_t lastLine = torn.rfind('\n', torn.size() - 2) + 1;
        // Every cut, from the first byte to the last line end: inside each line, right
        // after a line, between its CR and its LF.
        for (std::size_t cut = 1; cut < torn.size(); ++cut) {
            SCOPED_TRACE("cut after byte " + std::to_string(cut));
            Installation inst;
            ASSERT_TRUE(kind.append(inst.location, 0).ok());
            std::string file = kind.file(inst.location);
            inst.dir.write(file.substr(inst.dir.path().size() + 1), readAll(file) + torn.substr(0, cut));
            ASSERT_TRUE(kind.append(inst.location, 2).ok());
            ASSERT_TRUE(kind.append(inst.location, 3).ok());

            std::vector<std::string> keys = kind.keys(inst.location);
            ASSERT_GE(keys.size(), 3u);
            EXPECT_EQ(keys.front(), kind.key(0));
            EXPECT_EQ(keys[keys.size() - 2], kind.key(2));
            EXPECT_EQ(keys.back(), kind.key(3));
            // Only a cut inside the last line leaves an entry that reads whole (its last
            // value cut short, or whole when only its line end was lost); every other
            // cut entry is passed over.
            bool inLastValue = cut > lastLine + (kind.name == std::string("scan report") ? 1 : 0);
            if (inLastValue) {
                ASSERT_EQ(keys.size(), 4u);
                EXPECT_TRUE(kind.key(1).starts_with(keys[1])) << keys[1];
            } else {
                EXPECT_EQ(keys.size(), 3u);
            }
            if (kind.file(inst.location) == inst.location.quarantineIndex()) {
                EXPECT_EQ(quarantineCount(inst.location), static_cast<int>(keys.size()));
            }
        }
    }
}

TEST(TornEntries, AnOlderFileWithACutEntryBetweenWholeOnesReadsTheWholeOnes)
{
    // Written by hand as an older version or a crash may leave them: the cut entry
    // is followed directly by whole entries, its last lines missing.
    const std::string S = "05/03/2006 14:07";
    struct Case {
        const char* name;
        std::string file;
        std::string content;
        std::vector<std::string> keys;
    } cases[] = {
        { "quarantine index, path line missing", "Reports/qtidx.dat",
            S + "\r\nAV0.QRT\r\nEicar\r\n" + S + "\r\nAV1.QRT\r\nW32\r\n/a\r\n" + S + "\r\nAV2.QRT\r\n\x1b\\n\r\n/b\r\n",
            { S + "|AV1.QRT|W32|/a", S + "|AV2.QRT|\n|/b" } },
        { "quarantine index, only the stamp", "Reports/qtidx.dat",
            S + "\r\n" + S + "\r\nAV1.QRT\r\nW32\r\n\x1b/a\\tb\r\n",
            { S + "|AV1.QRT|W32|/a\tb" } },
        { "infection log, virus line missing", "Reports/viridx.dat",
            S + "\r\n/cut\r\n" + S + "\r\n/a\r\nW32\r\n" + S + "\r\n/b\r\nEicar\r\n",
            { S + "|/a|W32", S + "|/b|Eicar" } },
        { "scan log, cut after the stamp", "Reports/index.dat",
            "***\r\n/r0.txt\r\n" + S + "\r\n***\r\n/r1.txt\r\n" + S + "\r\n0\r\n98\r\n/a\r\n00:01\r\n0\r\n2\r\n",
            { "/r1.txt|" + S + "|0|98|/a|00:01|0|2" } },
        { "scan log, cut before the stamp", "Reports/index.dat",
            "***\r\n/r0.txt\r\n***\r\n/r1.txt\r\n" + S + "\r\n2\r\n0\r\n\r\n\r\n\r\n\r\n",
            { "/r1.txt|" + S + "|2|0|||0|0" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.dir.write(c.file, c.content);
        std::vector<std::string> keys;
        if (c.file.ends_with("qtidx.dat")) {
            keys = keysOf(readQuarantineIndex(inst.location));
            EXPECT_EQ(quarantineCount(inst.location), static_cast<int>(c.keys.size()));
        } else if (c.file.ends_with("viridx.dat")) {
            keys = keysOf(readInfectionLog(inst.location));
        } else {
            keys = keysOf(readScanLog(inst.location));
        }
        EXPECT_EQ(keys, c.keys);
    }
}

TEST(TornEntries, AFullDiskLeavesOnlyWholeEntriesAndLaterAppendsReadBack)
{
    for (const auto& kind : Kinds) {
        SCOPED_TRACE(kind.name);
        Installation inst;
        // A child whose files may not grow beyond a few entries, as on a full disk,
        // appends until an append fails.
        pid_t pid = ::fork();
        if (pid == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit { 1000, 1000 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            for (int n = 0; n < 100; ++n) {
                if (!kind.append(inst.location, n))
                    ::_exit(n > 0 && n < 100 ? 0 : 1);
            }
            ::_exit(2);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0) << "the limit was never reached, or nothing fit";

        std::vector<std::string> keys = kind.keys(inst.location);
        ASSERT_FALSE(keys.empty());
        std::string expected;
        for (std::size_t n = 0; n < keys.size(); ++n) {
            EXPECT_EQ(keys[n], kind.key(static_cast<int>(n)));
            expected += storedEntry(kind, static_cast<int>(n));
        }
        EXPECT_EQ(readAll(kind.file(inst.location)), expected); // nothing of the entry that failed

        const auto whole = keys.size();
        ASSERT_TRUE(kind.append(inst.location, 99).ok());
        keys = kind.keys(inst.location);
        ASSERT_EQ(keys.size(), whole + 1);
        EXPECT_EQ(keys.back(), kind.key(99));
    }
}

} // namespace
} // namespace vz::records
