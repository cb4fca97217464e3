#include "common/records/record_value.h"

#include <gtest/gtest.h>

#include <string>

namespace vz::records {
namespace {

struct ValueCase {
    const char* name;
    std::string value;
    Separators separators;
    bool storedUnchanged;
};

TEST(RecordValue, StoresEveryValueOnOneLineAndReadsItBack)
{
    const ValueCase cases[] = {
        { "plain path", "/home/ann/a.exe", Separators::LineEnds, true },
        { "percent stays", "/tmp/%d%s%n.exe", Separators::LineEnds, true },
        { "backslash stays", "C:\\dir\\a.exe", Separators::LineEnds, true },
        { "empty", "", Separators::LineEnds, true },
        { "tab allowed outside reports", "a\tb", Separators::LineEnds, true },
        { "line feed", "/tmp/a\n***\n/etc/passwd", Separators::LineEnds, false },
        { "carriage return", "/tmp/a\rb", Separators::LineEnds, false },
        { "cr lf at the end", "/tmp/a\r\n", Separators::LineEnds, false },
        { "tab in a report field", "/tmp/a\tvirus", Separators::LineEndsAndTabs, false },
        { "begins with the marker", std::string("\x1b") + "n", Separators::LineEnds, false },
        { "escapes beside a line end", "a\\n\n\\", Separators::LineEnds, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string stored = encodeValue(c.value, c.separators);
        EXPECT_EQ(stored.find('\n'), std::string::npos);
        EXPECT_EQ(stored.find('\r'), std::string::npos);
        if (c.separators == Separators::LineEndsAndTabs) {
            EXPECT_EQ(stored.find('\t'), std::string::npos);
        }
        EXPECT_EQ(stored == c.value, c.storedUnchanged);
        EXPECT_EQ(decodeValue(stored), c.value);
    }
}

TEST(RecordValue, LinesWrittenBeforeReadUnchanged)
{
    // Values of older files never carry the marker: backslashes and percent signs
    // in them mean themselves.
    for (std::string old : { "C:\\new\\x.exe", "\\n", "100%", "W32/Foo.A" })
        EXPECT_EQ(decodeValue(old), old);
}

TEST(RecordValue, ParsesNumbersAndStampsAsTheReadersDo)
{
    EXPECT_EQ(parseNumber("96"), 96);
    EXPECT_EQ(parseNumber(" 12abc"), 12);
    EXPECT_EQ(parseNumber("-3"), -3);
    EXPECT_EQ(parseNumber(""), 0);
    EXPECT_EQ(parseNumber("x"), 0);

    auto t = parseRecordDateTime("05/03/2006 14:07");
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->day, 5);
    EXPECT_EQ(t->month, 3);
    EXPECT_EQ(t->year, 2006);
    EXPECT_EQ(t->hour, 14);
    EXPECT_EQ(t->minute, 7);
    for (const char* bad : { "", "5/3/2006 14:07", "05/13/2006 14:07", "05/03/2006 24:00", "05/03/2006-14:07" })
        EXPECT_FALSE(parseRecordDateTime(bad).has_value()) << bad;
}

} // namespace
} // namespace vz::records
