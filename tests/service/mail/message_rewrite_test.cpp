#include "service/mail/message_file.h"
#include "service/mail/message_rewrite.h"
#include "common/text.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vz::mail {
namespace {

TEST(MessageRewrite, LineByLineCases)
{
    struct Case {
        const char* what;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        { "notice after Subject:", "Subject: Hello\r\n", "Subject: [N] Hello\r\n" },
        { "two Subject: in a line", "Subject: Fwd: Subject: Hi\r\n", "Subject: [N] Fwd: Subject: [N] Hi\r\n" },
        { "Subject: is case-sensitive", "subject: x\r\nSUBJECT: y\r\n", "subject: x\r\nSUBJECT: y\r\n" },
        { "Subject: anywhere in a line", "X-Old-Subject: a\r\n", "X-Old-Subject: [N] a\r\n" },
        { "cut to the boundary line",
            "------=_P\r\nContent-Type: application/x; name=a\r\nContent-Disposition: attachment\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n------=_P--\r\n",
            "------=_P\r\nContent-Type: application/x; name=a\r\nContent-Disposition: attachment\r\n------=_P--\r\n" },
        { "cut to a full-stop line", "Content-Disposition: inline\r\nsecret\r\n.\r\nafter\r\n",
            "Content-Disposition: inline\r\n.\r\nafter\r\n" },
        { "other boundaries do not end the cut", "Content-Disposition: a\r\n--b\r\nx\r\n------=c\r\n",
            "Content-Disposition: a\r\n------=c\r\n" },
        { "file ends while dropping", "A\r\nContent-Disposition: a\r\nrest\r\nmore", "A\r\nContent-Disposition: a\r\n" },
        { "the end line of a cut is written as it is", "Content-Disposition: a\r\nx\r\n.Subject: y\r\n",
            "Content-Disposition: a\r\n.Subject: y\r\n" },
        { "blank lines stay", "A: b\r\n\r\nbody\r\n\r\n", "A: b\r\n\r\nbody\r\n\r\n" },
        { "lone LF and lone CR end lines too", "A\nB\rC\r\n\nD", "A\r\nB\r\nC\r\n\r\nD\r\n" },
        { "zero bytes are kept", std::string("a\0b\r\n", 5), std::string("a\0b\r\n", 5) },
        { "empty", "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rewriteInfectedMessage(c.in, "[N]"), c.out);
    }
    // A notice that itself holds "Subject:" is not expanded again.
    EXPECT_EQ(rewriteInfectedMessage("Subject: x\r\n", "[Subject: v]"), "Subject: [Subject: v] x\r\n");
}

TEST(MessageRewrite, NoticeTemplateIsFilledSafely)
{
    struct Case {
        std::string templ;
        std::string name;
        std::string out;
    };
    const Case cases[] = {
        { "[Vantrelo Vodazedad removed virus: %s]", "Eicar-Test", "[Vantrelo Vodazedad removed virus: Eicar-Test]" },
        { "%s %s %d %", "V", "V %s %d %" },                   // one name, other "%" kept
        { "100%% %s", "V", "100% V" },
        { "[%s]", "Evil\r\nBcc: x@y\t", "[EvilBcc: x@y]" },  // no line end into the header
        { "no placeholder", "V", "no placeholder" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.templ);
        EXPECT_EQ(formatVirusNotice(c.templ, c.name), c.out);
    }
    EXPECT_EQ(text::fillTemplate("%s: %s (%s)", { "a", "b" }), "a: b (%s)");
}

TEST(MessageFile, LineEndsBecomeCrLf)
{
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        { "a\r\nb\r\n", "a\r\nb\r\n" },
        { "a\nb\n\nc", "a\r\nb\r\n\r\nc" },
        { "a\rb\r\r\n", "a\r\nb\r\n\r\n" },
        { "\n\r", "\r\n\r\n" },
        { "", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(withCrLfLineEnds(c.in), c.out) << c.in;
}

TEST(MessageFile, ReplaceGoesThroughTmpAndKeepsPermissions)
{
    test::TempDir dir;
    std::string path = dir.write("msg.eml", "old");
    ::chmod(path.c_str(), 0640);
    // A leftover ".TMP", even a link to another file, is removed, never written through.
    std::string victim = dir.write("victim", "keep");
    ASSERT_EQ(::symlink(victim.c_str(), (path + ".TMP").c_str()), 0);

    ASSERT_TRUE(replaceMessageFile(path, "new").ok());
    EXPECT_EQ(test::readAll(path), "new");
    EXPECT_EQ(test::readAll(victim), "keep");
    struct stat st;
    ASSERT_EQ(::lstat((path + ".TMP").c_str(), &st), -1);
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A ".TMP" that cannot be removed (a folder with content): the message stays.
    test::TempDir other;
    std::string blocked = other.write("m.eml", "original");
    other.mkdir("m.eml.TMP");
    other.write("m.eml.TMP/x", "x");
    EXPECT_FALSE(replaceMessageFile(blocked, "new").ok());
    EXPECT_EQ(test::readAll(blocked), "original");

    EXPECT_FALSE(replaceMessageFile(dir.file("missing.eml"), "x").ok());
    EXPECT_EQ(::lstat(dir.file("missing.eml.TMP").c_str(), &st), -1);
}

} // namespace
} // namespace vz::mail
