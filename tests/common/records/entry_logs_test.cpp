// The infection log and the quarantine index: entries of three and four lines.
#include "common/records/infection_log.h"
#include "common/records/quarantine_index.h"

#include "tests/common/records/record_fixture.h"

#include <gtest/gtest.h>

#include <optional>

namespace vz::records {
namespace {

using test::Installation;
using test::sampleTime;
using vz::test::readAll;

TEST(InfectionLog, WritesThreeLinesPerInfectionAndReadsThemBack)
{
    Installation inst;
    std::vector<InfectionLogEntry> written = {
        infectionEntry(sampleTime(), "/home/ann/a.exe", "Eicar-Test-Signature"),
        infectionEntry(sampleTime(), "/tmp/100%d.com", "W32/%s.Worm"),
    };
    for (const auto& e : written)
        ASSERT_TRUE(appendInfectionLogEntry(inst.location, e).ok());
    EXPECT_EQ(readAll(inst.location.infectionLog()),
        "05/03/2006 14:07\r\n/home/ann/a.exe\r\nEicar-Test-Signature\r\n"
        "05/03/2006 14:07\r\n/tmp/100%d.com\r\nW32/%s.Worm\r\n");
    auto read = readInfectionLog(inst.location);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(*read, written);
}

TEST(InfectionLog, IncompleteLastGroupIsLeftOutAndRewriteKeepsOrder)
{
    Installation inst;
    inst.dir.write("Reports/viridx.dat", "01/01/2005 10:01\n/p1\nv1\n01/01/2005 10:02\r\n/p2\r\nv2\r\n01/01/2005 10:03\r\n/p3\r\nv3\r\n01/01/2005 10:04\r\n/p4\r\n");
    auto read = readInfectionLog(inst.location);
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read->size(), 3u);
    EXPECT_EQ((*read)[2], (InfectionLogEntry { "01/01/2005 10:03", "/p3", "v3" }));

    ASSERT_TRUE(rewriteInfectionLog(inst.location, [](const InfectionLogEntry& e) { return e.path != "/p2"; }).ok());
    EXPECT_EQ(readAll(inst.location.infectionLog()), "01/01/2005 10:01\r\n/p1\r\nv1\r\n01/01/2005 10:03\r\n/p3\r\nv3\r\n");
}

TEST(QuarantineIndex, WritesFourLinesPerItemAndReadsThemBack)
{
    Installation inst;
    std::vector<QuarantineEntry> written = {
        quarantineEntry(sampleTime(), quarantineFileName(0), "Eicar", "/home/ann/a.exe"),
        quarantineEntry(sampleTime(), quarantineFileName(1), "W32/%d", "/tmp/%d.exe"),
    };
    for (const auto& e : written)
        ASSERT_TRUE(appendQuarantineEntry(inst.location, e).ok());
    EXPECT_EQ(readAll(inst.location.quarantineIndex()),
        "05/03/2006 14:07\r\nAV0.QRT\r\nEicar\r\n/home/ann/a.exe\r\n"
        "05/03/2006 14:07\r\nAV1.QRT\r\nW32/%d\r\n/tmp/%d.exe\r\n");
    auto read = readQuarantineIndex(inst.location);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(*read, written);
    EXPECT_EQ(quarantineCount(inst.location), 2);
}

TEST(QuarantineIndex, CountStopsAtTheFirstEmptyGroupAndListsSkipEmptyPaths)
{
    const std::string S = "05/03/2006 14:07";
    struct Case {
        const char* name;
        std::optional<std::string> content; // none: no index file at all
        int count;
        std::size_t listed;
    } cases[] = {
        { "no index", std::nullopt, 0, 0 },
        { "empty index", "", 0, 0 },
        { "two items", S + "\nAV0.QRT\nv\n/a\n" + S + "\nAV1.QRT\nv\n/b\n", 2, 2 },
        { "empty first line ends the count", S + "\nAV0.QRT\nv\n/a\n\n\n\n\n" + S + "\nAV2.QRT\nv\n/c\n", 1, 2 },
        { "item without a path", S + "\nAV0.QRT\nv\n\n" + S + "\nAV1.QRT\nv\n/b\n", 2, 1 },
        // A cut entry is not an entry: it neither counts nor shows.
        { "cut last item", S + "\nAV0.QRT\nv\n/a\n" + S + "\nAV1.QRT\n", 1, 1 },
        { "cut item between whole ones", S + "\nAV0.QRT\nv\n/a\n" + S + "\nAV1.QRT\n" + S + "\nAV2.QRT\nv\n/c\n", 2, 2 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        if (c.content)
            inst.dir.write("Reports/qtidx.dat", *c.content);
        EXPECT_EQ(quarantineCount(inst.location), c.count);
        auto listed = listQuarantineEntries(inst.location);
        EXPECT_EQ(listed.ok(), c.content.has_value());
        if (listed) {
            EXPECT_EQ(listed->size(), c.listed);
        }
    }
}

TEST(QuarantineIndex, RewriteDropsOnlyTheChosenItem)
{
    Installation inst;
    for (int n = 0; n < 3; ++n)
        ASSERT_TRUE(appendQuarantineEntry(inst.location, quarantineEntry(sampleTime(), quarantineFileName(n), "v", "/p" + std::to_string(n))).ok());
    ASSERT_TRUE(rewriteQuarantineIndex(inst.location, [](const QuarantineEntry& e) { return e.fileName != "AV0.QRT"; }).ok());
    auto read = readQuarantineIndex(inst.location);
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read->size(), 2u);
    EXPECT_EQ((*read)[0].fileName, "AV1.QRT");
    EXPECT_EQ((*read)[1].formerPath, "/p2");
    EXPECT_EQ(quarantineCount(inst.location), 2);
}

} // namespace
} // namespace vz::records
