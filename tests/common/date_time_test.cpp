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
