#include "driver/name_filter_lists.h"
#include "driver/simulated/simulated_kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vz::driver::test {

TEST(WildcardMatch, FollowsTheRulesAsWritten)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        // An empty pattern matches nothing, not even an empty name.
        { "", "", false },
        { "", "A", false },
        { "*", "", true },
        { "**", "", true },
        { "*", "C:\\dir\\a.exe", true },
        // The name is compared in upper case, the pattern as it is.
        { "*.EXE*", "C:\\dir\\a.exe", true },
        { "*.exe*", "C:\\dir\\a.exe", false },
        { "*.COM*", "C:\\dir\\a.exe", false },
        { "*DIR*", "c:\\dir\\x", true },
        // A plain character ending a pattern after "*" never matches at the name's end.
        { "*A", "A", false },
        { "*A", "BA", false },
        { "*A*", "BAB", true },
        { "*A*", "BA", true },
        // Without "*" the whole name must match exactly.
        { "ABC", "abc", true },
        { "ABC", "abcd", false },
        { "ABCD", "abc", false },
        { "AB*", "ab", true },
        { "AB*", "a", false },
        // Once the name runs out only the first character of the rest is looked at.
        { "AB*XYZ", "ab", false },
        { "A**Z", "a", true },
        { "A*B*C*", "axbyc", true },
        { "A*B*C*", "axcyb", false },
        // The match tries every position of the name for the character after "*".
        { "*AB*", "aaab", true },
        { "*.TXT*", "C:\\notes.txt.bak", true },
        { "*1*", "", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.matches) << "pattern '" << c.pattern << "' name '" << c.name << "'";
}

class PatternLists : public ::testing::Test {
protected:
    sim::SimulatedKernel kernel;
    NameFilterLists lists { kernel };
};

TEST_F(PatternLists, ParsesTokensIntoStarredPatterns)
{
    struct Case {
        const char* text;
        std::vector<std::string> patterns;
    };
    const Case cases[] = {
        { "*", { "*" } },
        { "*.EXE;*.COM", { "*.EXE*", "*.COM*" } },
        { "*.exe", { "*.exe*" } },
        { ";;DIR;", { "*DIR*" } },
        { "", {} },
        { ";", {} },
        { "a*;*b;**", { "*a*", "*b*", "**" } },
        { "X;Y", { "*X*", "*Y*" } },
    };
    for (const Case& c : cases) {
        lists.rebuild(c.text, "");
        EXPECT_EQ(lists.includePatterns(), c.patterns) << "text '" << c.text << "'";
        EXPECT_TRUE(lists.excludePatterns().empty());
    }
}

TEST_F(PatternLists, TheIncludeListDecidesWhatIsExamined)
{
    struct Case {
        const char* include;
        const char* name;
        bool examined;
    };
    const Case cases[] = {
        { "*", "C:\\dir\\a.exe", true },
        { "*", "", true },
        { "*.EXE;*.COM", "C:\\dir\\a.exe", true },
        { "*.EXE;*.COM", "C:\\dir\\a.com", true },
        { "*.EXE;*.COM", "C:\\dir\\a.txt", false },
        { "*.exe", "C:\\dir\\a.exe", false },
        { ";;DIR;", "C:\\dir\\a.exe", true },
        { ";;DIR;", "C:\\x\\a.exe", false },
        { "", "C:\\dir\\a.exe", false },
    };
    for (const Case& c : cases) {
        lists.rebuild(c.include, "");
        EXPECT_EQ(lists.examine(c.name), c.examined) << "include '" << c.include << "' name '" << c.name << "'";
    }
}

TEST_F(PatternLists, ExcludePatternsTurnMatchingNamesAway)
{
    // The service sends its on-demand folder in lower case, which the match never
    // finds; in upper case it excludes the folder.
    lists.rebuild("*", "c:\\scan");
    EXPECT_EQ(lists.excludePatterns(), std::vector<std::string> { "*c:\\scan*" });
    EXPECT_TRUE(lists.examine("C:\\scan\\a.exe"));
    lists.rebuild("*", "C:\\SCAN;D:\\TMP");
    EXPECT_FALSE(lists.examine("C:\\scan\\a.exe"));
    EXPECT_FALSE(lists.examine("d:\\tmp\\b.dll"));
    EXPECT_TRUE(lists.examine("C:\\other\\a.exe"));
}

TEST_F(PatternLists, KeepsAtMostSixtyFourPatternsAndSkipsWhatThePoolCannotGive)
{
    std::string text;
    for (int i = 0; i < 70; ++i)
        text += "A;";
    lists.rebuild(text, "");
    EXPECT_EQ(lists.includePatterns().size(), kMaxPatterns);
    EXPECT_EQ(kernel.poolBlocksInUse(kDriverPoolTag), kMaxPatterns);

    kernel.failingPoolTags.insert(kDriverPoolTag);
    lists.rebuild("*.EXE;*.COM", "");
    EXPECT_TRUE(lists.includePatterns().empty());
    EXPECT_FALSE(lists.examine("C:\\a.exe"));
    EXPECT_EQ(kernel.poolBlocksInUse(kDriverPoolTag), 0u);
}

TEST_F(PatternLists, ATestNeverSeesAHalfBuiltList)
{
    // Every list the rebuilder writes examines the name; a test that saw a list being
    // rebuilt (emptied, or holding one of the two patterns) would not.
    lists.rebuild("*.EXE", "");
    std::atomic<bool> done { false };
    std::atomic<int> misses { 0 };
    std::thread tester([&] {
        while (!done.load()) {
            if (!lists.examine("C:\\DIR\\A.EXE"))
                ++misses;
        }
    });
    for (int i = 0; i < 2000; ++i)
        lists.rebuild(i % 2 == 0 ? "*.EXE;*DIR*" : "*DIR*;*.EXE", "");
    done.store(true);
    tester.join();
    EXPECT_EQ(misses.load(), 0);
}

} // namespace vz::driver::test
