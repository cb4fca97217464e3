#include "vodazedad/scan/exclusion_patterns.h"
#include "vodazedad/scan/scan_listing.h"

#include <gtest/gtest.h>

namespace vz::scan {

namespace {

using Kind = FileFinding::Kind;
using records::RecordCode;

const FileFinding Clean { Kind::Clean, "/d/clean.txt", {}, {}, RecordCode::InfectionLeft };
const FileFinding Quarantined { Kind::Infection, "/d/eicar.com", "Vz-Test.StandardFile", "File quarantained", RecordCode::Quarantined };
const FileFinding Left { Kind::Infection, "/d/x", "Vz-Test.Program", "", RecordCode::InfectionLeft };
const FileFinding Problem { Kind::Problem, "/d/locked", {}, "The file could not be opened", RecordCode::Problem };

} // namespace

TEST(ScanListing, EachListingShowsItsLinesInTheUsualForm)
{
    struct Case {
        Listing listing;
        std::optional<std::string> clean, quarantined, left, problem;
    } cases[] = {
        { Listing::All, "/d/clean.txt: OK\n", "/d/eicar.com: Vz-Test.StandardFile FOUND (File quarantained)\n",
            "/d/x: Vz-Test.Program FOUND\n", "/d/locked: The file could not be opened ERROR\n" },
        { Listing::Infected, std::nullopt, "/d/eicar.com: Vz-Test.StandardFile FOUND (File quarantained)\n",
            "/d/x: Vz-Test.Program FOUND\n", "/d/locked: The file could not be opened ERROR\n" },
        { Listing::Quiet, std::nullopt, std::nullopt, std::nullopt, "/d/locked: The file could not be opened ERROR\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.listing));
        EXPECT_EQ(findingLine(Clean, c.listing, Clean.path), c.clean);
        EXPECT_EQ(findingLine(Quarantined, c.listing, Quarantined.path), c.quarantined);
        EXPECT_EQ(findingLine(Left, c.listing, Left.path), c.left);
        EXPECT_EQ(findingLine(Problem, c.listing, Problem.path), c.problem);
    }
    // A hostile name (and virus name) cannot add a line or reach the terminal raw.
    FileFinding forged { Kind::Infection, "/d/a\n/etc/passwd: OK\x1b[2K", "N\nX", "", RecordCode::InfectionLeft };
    EXPECT_EQ(findingLine(forged, Listing::All, forged.path), "/d/a\\n/etc/passwd: OK\\x1b[2K: N\\nX FOUND\n");
}

TEST(ScanListing, TheObserverListsAsFilesAreDoneAndSaysTheFirstUnwrittenRecordOnce)
{
    std::vector<std::pair<std::FILE*, std::string>> written;
    auto writer = [&](std::FILE* stream, const std::string& lines) { written.emplace_back(stream, lines); };
    ScanListing listing(Listing::Infected, false, writer);
    listing.setStandardInputPath("/proc/self/fd/5");
    listing.fileHandled(Clean);
    listing.fileHandled({ Kind::Infection, "/proc/self/fd/5", "Vz-Test.StandardFile", "", RecordCode::InfectionLeft });
    listing.recordNotWritten(Error::fromErrno("open", EACCES, "/app/Reports/r.txt"));
    listing.recordNotWritten(Error::fromErrno("open", EACCES, "/app/Reports/index.dat"));
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0], std::make_pair(stdout, std::string("stdin: Vz-Test.StandardFile FOUND\n")));
    EXPECT_EQ(written[1].first, stderr);
    EXPECT_EQ(written[1].second, "vodazedad-scan: a record could not be written: open(/app/Reports/r.txt): Permission denied\n");
    EXPECT_EQ(listing.recordsNotWritten(), 2);
    EXPECT_TRUE(listing.findings().empty()); // kept only for --json

    // With --json nothing is listed: the findings wait for the summary.
    written.clear();
    ScanListing json(Listing::All, true, writer);
    for (const auto& f : { Clean, Quarantined, Problem })
        json.fileHandled(f);
    EXPECT_TRUE(written.empty());
    ASSERT_EQ(json.findings().size(), 2u);
}

TEST(ScanListing, TheJsonSummaryHoldsTheCountsAndOneObjectPerFinding)
{
    ScanTotals totals { 5, 2, 1, 1, 3, true, 7, "/app/Reports/r \"1\".txt" };
    FileFinding odd { Kind::Problem, "/d/n\n\xff", {}, "why", RecordCode::Problem };
    std::string json = jsonSummary(totals, { Quarantined, Left, odd }, [](const std::string& p) { return p == "/d/x" ? std::string("stdin") : p; });
    EXPECT_EQ(json,
        "{\"files_scanned\":5,\"infections\":2,\"removed\":1,\"errors\":1,\"records_not_written\":3,\"aborted\":true,"
        "\"scan_time_seconds\":7,\"report\":\"/app/Reports/r \\\"1\\\".txt\",\"findings\":["
        "{\"path\":\"/d/eicar.com\",\"virus\":\"Vz-Test.StandardFile\",\"result\":\"quarantined\",\"action\":\"File quarantained\",\"code\":10},"
        "{\"path\":\"stdin\",\"virus\":\"Vz-Test.Program\",\"result\":\"left\",\"action\":\"\",\"code\":3},"
        "{\"path\":\"/d/n\\n\\udcff\",\"virus\":null,\"result\":\"error\",\"action\":\"why\",\"code\":7}]}\n");
    EXPECT_EQ(jsonSummary(ScanTotals {}, {}, [](const std::string& p) { return p; }),
        "{\"files_scanned\":0,\"infections\":0,\"removed\":0,\"errors\":0,\"records_not_written\":0,\"aborted\":false,"
        "\"scan_time_seconds\":0,\"report\":null,\"findings\":[]}\n");
}

TEST(ExclusionPatterns, WildcardsMatchTheFullPathOrTheBaseName)
{
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    } cases[] = {
        { "*.iso", "disk.iso", true },
        { "*.iso", "disk.iso.txt", false },
        { "*", "", true },
        { "a*b*c", "aXXbYYc", true },
        { "a*b*c", "aXXbYY", false },
        { "*/.cache/*", "/home/u/.cache/x/y", true }, // "*" crosses "/"
        { "file?.txt", "file1.txt", true },
        { "file?.txt", "file.txt", false },
        { "[a-c]x", "bx", true },
        { "[!a-c]x", "bx", false },
        { "[^a-c]x", "dx", true },
        { "[]]", "]", true },
        { "[", "[", true },        // no closing "]": literal
        { "\\*", "*", true },
        { "\\*", "x", false },
        { "**a", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(wildcardMatch(c.pattern, c.text), c.match) << c.pattern << " " << c.text;

    ExclusionPatterns p { { "*.iso", "/srv/keep/big" }, { ".git", "/home/*/.cache" } };
    EXPECT_TRUE(p.excluded("/home/u/disk.iso", false));
    EXPECT_TRUE(p.excluded("/srv/keep/big", false));
    EXPECT_FALSE(p.excluded("/srv/keep/big2", false));
    EXPECT_FALSE(p.excluded("/home/u/.git", false)); // a folder pattern leaves files alone
    EXPECT_TRUE(p.excluded("/work/repo/.git", true));
    EXPECT_TRUE(p.excluded("/home/u/.cache/", true));
    EXPECT_FALSE(p.excluded("/home/u/.git.iso", true)); // a file pattern leaves folders alone
}

} // namespace vz::scan
