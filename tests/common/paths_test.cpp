#include "common/paths.h"

#include <gtest/gtest.h>

namespace vz::paths {

TEST(Paths, JoinKeepsExactlyOneSeparator)
{
    struct Case {
        const char* folder;
        const char* name;
        const char* joined;
    } cases[] = {
        { "/opt/vodazedad", "Reports", "/opt/vodazedad/Reports" },
        { "/opt/vodazedad/", "Reports", "/opt/vodazedad/Reports" },
        { "/opt/vodazedad/", "/Reports", "/opt/vodazedad/Reports" },
        { "", "a.txt", "a.txt" },
        { "/", "etc", "/etc" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(join(c.folder, c.name), c.joined) << c.folder << " + " << c.name;
}

TEST(Paths, TrailingSeparatorAddedOnce)
{
    EXPECT_EQ(withTrailingSeparator("/opt/x"), "/opt/x/");
    EXPECT_EQ(withTrailingSeparator("/opt/x/"), "/opt/x/");
    EXPECT_EQ(withTrailingSeparator(""), "/");
}

TEST(Paths, SplitsAtTheLastSeparator)
{
    EXPECT_EQ(fileName("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(fileName("c.txt"), "c.txt");
    EXPECT_EQ(fileName("/a/b/"), "");
    EXPECT_EQ(folderOf("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(folderOf("/x"), "");
    EXPECT_EQ(folderOf("x"), "");
    EXPECT_EQ(extension("/a.b/c.tar.gz"), ".gz");
    EXPECT_EQ(extension("/a.b/c"), "");
}

TEST(Paths, AbsoluteAgainstABase)
{
    struct Case {
        const char* path;
        const char* base;
        const char* absolute;
    } cases[] = {
        { "data", "/home/u", "/home/u/data" },
        { "./data/../x//y/", "/home/u/", "/home/u/x/y/" },
        { "/abs/./p", "/ignored", "/abs/p" },
        { "../../..", "/a/b", "/" },
        { ".", "/a", "/a" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(absolute(c.path, c.base), c.absolute) << c.path;
}

} // namespace vz::paths
