#include "service/mail/attachment_folder.h"
#include "service/mail/mail_ports.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace vz::mail {
namespace {

TEST(AttachmentNames, HostileNamesStayPlainFileNames)
{
    struct Case {
        std::string name;
        std::string file;
    };
    const Case cases[] = {
        { "virus.exe", "virus.exe" },
        { "../../etc/passwd", "passwd" },
        { "/etc/shadow", "shadow" },
        { "..", "attachment-7" },
        { ".", "attachment-7" },
        { "", "attachment-7" },
        { "dir/", "attachment-7" },
        { "C:\\Windows\\evil.exe", "evil.exe" },
        { "..\\..\\x.com", "x.com" },
        { "a\r\nb\tc\x7f.txt", "abc.txt" },
        { "\x01\x02", "attachment-7" },
        { "caf\xc3\xa9.doc", "caf\xc3\xa9.doc" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(safeAttachmentFileName(c.name, 7, 200), c.file);
    }

    // Too long: cut without splitting a character, the extension kept.
    std::string longName;
    for (int i = 0; i < 300; ++i)
        longName += "\xc3\xa9";
    std::string fitted = safeAttachmentFileName(longName + ".exe", 1, 101);
    EXPECT_LE(fitted.size(), 101u);
    EXPECT_EQ(fitted.substr(fitted.size() - 4), ".exe");
    EXPECT_EQ(fitted.size() % 2, 0u) << "a two-byte character was cut";
}

TEST(AttachmentFolders, PrivateFreshAndRemovedWithContent)
{
    test::TempDir base;
    std::string existing = base.write("virus.exe", "someone else's");
    std::string folderPath;
    {
        auto folder = AttachmentFolder::create(base.path());
        ASSERT_TRUE(folder.ok());
        folderPath = folder->path();
        struct stat st;
        ASSERT_EQ(::lstat(folderPath.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);

        auto first = folder->pathFor("../virus.exe", 1);
        ASSERT_TRUE(first.ok());
        EXPECT_EQ(*first, folderPath + "/virus.exe");
        FILE* f = std::fopen(first->c_str(), "w");
        std::fclose(f);
        // The same name again: another file, never the existing one.
        auto second = folder->pathFor("virus.exe", 2);
        ASSERT_TRUE(second.ok());
        EXPECT_NE(*second, *first);
        EXPECT_EQ(second->rfind(folderPath + "/", 0), 0u);

        auto longPath = folder->pathFor(std::string(1000, 'a') + ".pif", 3);
        ASSERT_TRUE(longPath.ok());
        EXPECT_LE(longPath->size(), MaxEnginePathBytes);
        EXPECT_EQ(longPath->substr(longPath->size() - 4), ".pif");
    }
    struct stat st;
    EXPECT_EQ(::lstat(folderPath.c_str(), &st), -1) << "the folder goes with its owner";
    EXPECT_EQ(test::readAll(existing), "someone else's");

    EXPECT_FALSE(AttachmentFolder::create(base.file("missing")).ok());
    // A base so long that no name would fit the engine's record is refused.
    std::string deep = base.path() + "/" + std::string(200, 'd') + "/" + std::string(40, 'e');
    std::filesystem::create_directories(deep);
    auto folder = AttachmentFolder::create(deep);
    ASSERT_TRUE(folder.ok());
    EXPECT_FALSE(folder->pathFor("x", 1).ok());
}

} // namespace
} // namespace vz::mail
