#include "common/date_time.h"

#include <gtest/gtest.h>

namespace vz {

TEST(Stamps, RecordAndRegistryForms)
{
    LocalDateTime t { 2026, 3, 7, 9, 5, 59, 6 };
    EXPECT_EQ(stamps::recordDate(t), "07/03/2026");
    EXPECT_EQ(stamps::recordTime(t), " 09:05");
    EXPECT_EQ(stamps::recordDateTime(t), "07/03/2026 09:05");
    EXPECT_EQ(stamps::registryStamp(t), "202603070905");
}

TEST(DateTime, SecondLaterCarriesByTheCalendar)
{
    struct Case {
        const char* name;
        LocalDateTime from;
        LocalDateTime to;
    } cases[] = {
        { "within a minute", { 2026, 3, 7, 9, 5, 8, 6 }, { 2026, 3, 7, 9, 5, 9, 6 } },
        { "into the next minute", { 2026, 3, 7, 9, 5, 59, 6 }, { 2026, 3, 7, 9, 6, 0, 6 } },
        { "into the next hour", { 2026, 3, 7, 9, 59, 59, 6 }, { 2026, 3, 7, 10, 0, 0, 6 } },
        { "into the next day and weekday", { 2026, 3, 7, 23, 59, 59, 6 }, { 2026, 3, 8, 0, 0, 0, 0 } },
        { "end of a 30-day month", { 2026, 4, 30, 23, 59, 59, 4 }, { 2026, 5, 1, 0, 0, 0, 5 } },
        { "28 February of a common year", { 2026, 2, 28, 23, 59, 59, 6 }, { 2026, 3, 1, 0, 0, 0, 0 } },
        { "28 February of a leap year", { 2024, 2, 28, 23, 59, 59, 3 }, { 2024, 2, 29, 0, 0, 0, 4 } },
        { "1900 is no leap year", { 1900, 2, 28, 23, 59, 59, 3 }, { 1900, 3, 1, 0, 0, 0, 4 } },
        { "2000 is a leap year", { 2000, 2, 28, 23, 59, 59, 1 }, { 2000, 2, 29, 0, 0, 0, 2 } },
        { "into the next year", { 2026, 12, 31, 23, 59, 59, 4 }, { 2027, 1, 1, 0, 0, 0, 5 } },
        { "a leap second", { 2016, 12, 31, 23, 59, 60, 6 }, { 2017, 1, 1, 0, 0, 0, 0 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(secondLater(c.from), c.to);
    }
}

TEST(Stamps, RegistryStampRoundTripsAndRejectsNonsense)
{
    auto t = stamps::parseRegistryStamp("202612111743");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->year, 2026);
    EXPECT_EQ(t->month, 12);
    EXPECT_EQ(t->day, 11);
    EXPECT_EQ(t->hour, 17);
    EXPECT_EQ(t->minute, 43);
    EXPECT_EQ(t->weekday, 5); // a Friday
    EXPECT_EQ(stamps::registryStamp(*t), "202612111743");
    for (const char* bad : { "", "2026121117", "20261211174x", "202613111743", "202612112460", "2026121117430" })
        EXPECT_FALSE(stamps::parseRegistryStamp(bad)) << bad;
}

} // namespace vz
