#include "service/mail/message_file.h"
#include "service/mail/message_part.h"
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
        { "blank lines stay", "A: b\r\n\r\nbody\r\n\r\n", "A: b\r\n\r\nbody\r\n\r\n" },
        { "lone LF and lone CR end lines too", "A\nB\rC\r\n\nD", "A\r\nB\r\nC\r\n\r\nD\r\n" },
        { "zero bytes are kept", std::string("a\0b\r\n", 5), std::string("a\0b\r\n", 5) },
        { "empty", "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rewriteInfectedMessage(c.in, "[N]", {}), c.out);
    }
    // A notice that itself holds "Subject:" is not expanded again.
    EXPECT_EQ(rewriteInfectedMessage("Subject: x\r\n", "[Subject: v]", {}), "Subject: [Subject: v] x\r\n");
    // Lines in a cut go, Subject: lines included; a full-stop line may end a cut.
    EXPECT_EQ(rewriteInfectedMessage("a\r\nSubject: b\r\nc\r\n.d\r\ne\r\n", "[N]", { { 3, 16, false } }),
        "a\r\n.d\r\ne\r\n");
    EXPECT_EQ(rewriteInfectedMessage("a\r\nb\r\n.c\r\nd\r\n", "[N]", { { 3, 12, true } }), "a\r\n.c\r\nd\r\n");
    EXPECT_EQ(rewriteInfectedMessage("a\r\nb\r\nc\r\nd\r\n", "[N]", { { 3, 9, false, true } }), "a\r\n\r\nd\r\n");
}

// Parses the message, marks the leaves whose content holds "VIRUS" as infected and
// rewrites it with the cuts that gives.
std::string rewriteParsed(const std::string& text)
{
    MailMessage message;
    message.load(text);
    std::vector<MessagePart*> leaves;
    message.collectLeaves(leaves);
    std::vector<bool> infected;
    for (const MessagePart* leaf : leaves)
        infected.push_back(leaf->contentView().find("VIRUS") != std::string_view::npos);
    return rewriteInfectedMessage(text, "[N]", cutsForRewrite(text, leaves, infected));
}

TEST(MessageRewrite, CutsFollowThePartsOfTheMessage)
{
    struct Case {
        const char* what;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        { "attached part keeps its boundary lines and its Content-Disposition line",
            "Content-Type: multipart/mixed; boundary=\"----=_P\"\r\n\r\n"
            "------=_P\r\nContent-Type: application/x; name=a\r\nContent-Disposition: attachment\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n------=_P--\r\n",
            "Content-Type: multipart/mixed; boundary=\"----=_P\"\r\n\r\n"
            "------=_P\r\nContent-Type: application/x; name=a\r\nContent-Disposition: attachment\r\n------=_P--\r\n" },
        { "other boundaries end the cut too: clean parts and the close delimiter stay",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Disposition: attachment\r\n\r\nVIRUS\r\n"
            "--b\r\nContent-Type: text/plain\r\n\r\nclean text\r\n--b--\r\nepilogue\r\n",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Disposition: attachment\r\n"
            "--b\r\nContent-Type: text/plain\r\n\r\nclean text\r\n--b--\r\nepilogue\r\n" },
        { "infected part without Content-Disposition loses its content",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Type: application/x\r\n\r\nVIRUS\r\nmore\r\n--b\r\n\r\nok\r\n--b--\r\n",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Type: application/x\r\n\r\n\r\n--b\r\n\r\nok\r\n--b--\r\n" },
        { "infected part with content-disposition in lower case loses its content",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\ncontent-disposition: attachment\r\n\r\nVIRUS\r\n--b--\r\n",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\ncontent-disposition: attachment\r\n\r\n\r\n--b--\r\n" },
        { "an infected part's content goes past full-stop lines",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nVIRUS\r\n.\r\nrest\r\n--b--\r\n",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n\r\n--b--\r\n" },
        { "a clean attached part's cut ends at a full-stop line",
            "Content-Disposition: inline\r\n\r\nsecret\r\n.\r\nafter\r\n",
            "Content-Disposition: inline\r\n.\r\nafter\r\n" },
        { "folded Content-Disposition stays whole",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Disposition: attachment;\r\n filename=a.exe\r\nX: y\r\n\r\nQUJD\r\n--b--\r\n",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Disposition: attachment;\r\n filename=a.exe\r\n--b--\r\n" },
        { "a single infected part: the final full-stop line stays",
            "Subject: s\r\n\r\nVIRUS\r\n.\r\n", "Subject: [N] s\r\n\r\n\r\n.\r\n" },
        { "a Content-Disposition line in a text body is text", "A: b\r\n\r\nContent-Disposition: x\r\nkept\r\n",
            "A: b\r\n\r\nContent-Disposition: x\r\nkept\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rewriteParsed(c.in), c.out);
    }
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
