#include "common/text.h"

#include <gtest/gtest.h>

namespace vz::text {

TEST(Text, CaseInsensitiveCompareIsAsciiOnly)
{
    EXPECT_TRUE(equalsIgnoreCase("Quarantine", "QUARANTINE"));
    EXPECT_FALSE(equalsIgnoreCase("Quarantine", "Quarantin"));
    // Bytes above 127 compare as they are: "Ä" and "ä" are different.
    EXPECT_FALSE(equalsIgnoreCase("\xC3\x84", "\xC3\xA4"));
    EXPECT_LT(compareIgnoreCase("abc", "ABD"), 0);
    EXPECT_GT(compareIgnoreCase("abcd", "ABC"), 0);
    EXPECT_EQ(compareIgnoreCase("AbC", "aBc"), 0);
}

TEST(Text, FindIgnoringCase)
{
    EXPECT_EQ(findIgnoreCase("/Opt/VodaZedad/quarantine/AV1.QRT", "/QUARANTINE/"), 14u);
    EXPECT_EQ(findIgnoreCase("abc", "abcd"), std::string::npos);
    EXPECT_EQ(findIgnoreCase("aXbX", "x", 2), 3u);
    EXPECT_TRUE(startsWithIgnoreCase("HKLM\\Software", "hklm\\"));
    EXPECT_TRUE(endsWithIgnoreCase("a.EXE", ".exe"));
}

TEST(Text, TruncationNeverCutsACharacter)
{
    // "aü€" is 1 + 2 + 3 bytes.
    std::string s = "a\xC3\xBC\xE2\x82\xAC";
    EXPECT_EQ(truncateUtf8(s, 6), s);
    EXPECT_EQ(truncateUtf8(s, 5), "a\xC3\xBC");
    EXPECT_EQ(truncateUtf8(s, 4), "a\xC3\xBC");
    EXPECT_EQ(truncateUtf8(s, 2), "a");
    EXPECT_EQ(truncateUtf8(s, 0), "");
}

TEST(Text, TemplatesFillOnlyTheirPlaceholders)
{
    EXPECT_EQ(fillTemplate("Virus %s found in process %s", { "V", "p" }), "Virus V found in process p");
    EXPECT_EQ(fillTemplate("%s: %s (%s)", { "a", "b" }), "a: b (%s)");
    EXPECT_EQ(fillTemplate("100%% %d %n %s", { "x%s" }), "100% %d %n x%s"); // values are never read as a format
}

TEST(Text, FormatAndTrim)
{
    EXPECT_EQ(format("%s %d s", "Duration:", 12), "Duration: 12 s");
    EXPECT_EQ(format("%d", 0), "0");
    EXPECT_EQ(trim("  a b \r\n"), "a b");
}

} // namespace vz::text
