#include "platform/atoms/file_atom_table.h"
#include "service/mail/mail_limits.h"
#include "service/mail/mail_request.h"
#include "service/mail/mail_scan.h"
#include "service/mail/message_part.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace vz::mail {
namespace {

using Disposition = MailScanOutcome::Disposition;

// Stands in for the engine where a test needs a detection: content that holds
// "VIRUS:<name>" is infected with <name>; "ENGINE:error" gives an engine error,
// "ENGINE:limits" and "ENGINE:macro" those warnings. Tests files, and contents in
// memory when inMemory is set. Remembers what it was given.
class MarkerEngine final : public MailEnginePort {
public:
    explicit MarkerEngine(const GuardPort& guard) : m_guard(guard) {}

    FileVerdict testFile(const std::string& path) override { return verdictFor(path, test::readAll(path)); }

    std::optional<FileVerdict> testContent(std::string_view content) override
    {
        if (!inMemory)
            return std::nullopt;
        return verdictFor("", std::string(content));
    }

    bool inMemory = false;

    struct Tested {
        std::string path;
        std::string content;
        bool guardFlagMeanwhile;
        std::thread::id thread;
    };
    std::vector<Tested> tested;

private:
    FileVerdict verdictFor(const std::string& path, std::string content)
    {
        Tested t { path, std::move(content), m_guard.guardFlag(), std::this_thread::get_id() };
        tested.push_back(t);
        FileVerdict verdict;
        auto marker = t.content.find("VIRUS:");
        if (marker != std::string::npos) {
            auto end = t.content.find_first_of(" \r\n", marker);
            verdict.flags = TestFlag::Virus;
            verdict.virusName = t.content.substr(marker + 6, end == std::string::npos ? std::string::npos : end - marker - 6);
        }
        if (t.content.find("ENGINE:error") != std::string::npos)
            verdict.flags |= TestFlag::Error;
        if (t.content.find("ENGINE:limits") != std::string::npos) {
            verdict.flags |= TestFlag::Warning;
            verdict.warningCode = TestWarning::LimitsExceeded;
        }
        if (t.content.find("ENGINE:macro") != std::string::npos) {
            verdict.flags |= TestFlag::Warning;
            verdict.warningCode = 0x100;
        }
        return verdict;
    }

    const GuardPort& m_guard;
};

class RecordingGuard final : public GuardPort {
public:
    explicit RecordingGuard(bool on) : m_on(on) {}
    bool guardFlag() const override { return m_on; }
    void setGuardFlag(bool on) override { m_on = on; }
    void sendGuardOff() override { sent.push_back("off"); }
    void sendGuardOn() override { sent.push_back("on"); }

    std::vector<std::string> sent;

private:
    bool m_on;
};

class MailScanTest : public ::testing::Test {
protected:
    MailScanOutcome scan(const std::string& path)
    {
        MailScan mailScan(guard, engine, atoms, scratch);
        return mailScan.scanMessage(path);
    }

    // The atom's reference count as its file holds it ("" when there is none).
    std::string atomFile() { return test::readAll(atoms.folder() + "/qelavat"); }

    bool scratchIsEmpty() { return std::filesystem::is_empty(scratch); }

    test::TempDir dir;
    std::string scratch = dir.mkdir("scratch");
    RecordingGuard guard { true };
    MarkerEngine engine { guard };
    platform::FileAtomTable atoms { dir.file("atoms") };
};

const std::string TwoInfected =
    "From: a@b\r\n"
    "Subject: Hello\r\n"
    "Content-Type: multipart/mixed; boundary=\"----=_P\"\r\n"
    "\r\n"
    "------=_P\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "See the files.\r\n"
    "------=_P\r\n"
    "Content-Type: application/octet-stream; name=\"one.exe\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment; filename=\"one.exe\"\r\n"
    "\r\n"
    "VklSVVM6Rmlyc3Q=\r\n" // VIRUS:First
    "------=_P\r\n"
    "Content-Type: application/octet-stream; name=\"two.exe\"\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "Content-Disposition: attachment; filename=\"two.exe\"\r\n"
    "\r\n"
    "VIRUS=3ASecond\r\n"
    "------=_P--\r\n";

TEST_F(MailScanTest, TwoInfectedAttachmentsGiveOneAtomAndTheLastVirusName)
{
    std::string path = dir.write("msg.eml", TwoInfected);
    MailScanOutcome outcome = scan(path);

    EXPECT_EQ(outcome.disposition, Disposition::Rewritten);
    EXPECT_EQ(outcome.result(), 1);
    EXPECT_EQ(outcome.lastVirusName, "Second");
    EXPECT_EQ(atomFile(), "1\n") << "the atom is added once per message";
    // The whole message first, then every part, the text part too, and at last the
    // rewritten message, which must be clean before it replaces the file.
    ASSERT_EQ(engine.tested.size(), 5u);
    EXPECT_EQ(engine.tested[0].content, TwoInfected);
    EXPECT_EQ(engine.tested[2].content, "VIRUS:First");
    EXPECT_EQ(engine.tested[3].content, "VIRUS:Second");
    EXPECT_EQ(engine.tested[4].content, test::readAll(path));

    EXPECT_EQ(test::readAll(path),
        "From: a@b\r\n"
        "Subject: [Vantrelo Vodazedad removed virus: Second] Hello\r\n"
        "Content-Type: multipart/mixed; boundary=\"----=_P\"\r\n"
        "\r\n"
        "------=_P\r\n"
        "Content-Type: text/plain\r\n"
        "\r\n"
        "See the files.\r\n"
        "------=_P\r\n"
        "Content-Type: application/octet-stream; name=\"one.exe\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename=\"one.exe\"\r\n"
        "------=_P\r\n"
        "Content-Type: application/octet-stream; name=\"two.exe\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "Content-Disposition: attachment; filename=\"two.exe\"\r\n"
        "------=_P--\r\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".TMP"));
    EXPECT_TRUE(scratchIsEmpty()) << "temporary files and their folder are gone";

    // A second infected message adds one more reference.
    std::string second = dir.write("msg2.eml", TwoInfected);
    EXPECT_EQ(scan(second).disposition, Disposition::Rewritten);
    EXPECT_EQ(atomFile(), "2\n");
}

TEST_F(MailScanTest, CleanMessagesAreDeletedWithoutAtom)
{
    struct Case {
        const char* what;
        std::string message;
        std::size_t tested;
    };
    const Case cases[] = {
        { "no named attachment", "Subject: hi\r\nContent-Type: text/plain\r\n\r\nHello\r\n", 2 },
        { "clean named attachment",
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: application/x; name=a.exe\r\n\r\nMZ\r\n--b--\r\n", 2 },
        { "header without blank line", "Subject: hi\r\nX: y\r\n", 1 },      // tested whole
        { "empty file", "", 0 },
        { "no content at all", "Subject: hi\r\n\r\n", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine.tested.clear();
        std::string path = dir.write("clean.eml", c.message);
        MailScanOutcome outcome = scan(path);
        EXPECT_EQ(outcome.disposition, Disposition::Deleted);
        EXPECT_EQ(outcome.result(), 0);
        EXPECT_TRUE(outcome.problems.empty());
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(engine.tested.size(), c.tested);
        EXPECT_FALSE(atoms.findAtom("qelavat").value());
    }
}

TEST_F(MailScanTest, EveryAttachmentIsScannedHoweverItIsNamed)
{
    struct Case {
        const char* what;
        std::string partHeader;
        std::string testedName;
    };
    const Case cases[] = {
        { "Content-Type name", "Content-Type: application/x; name=\"ct.exe\"\r\n", "ct.exe" },
        { "Content-Disposition filename only",
            "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"cd.exe\"\r\n", "cd.exe" },
        { "unquoted filename ends at the full stop", "Content-Disposition: attachment; filename=cd.exe\r\n", "cd" },
        { "not named at all", "Content-Type: application/octet-stream\r\n", "attachment-2" },
        { "name before filename", "Content-Type: a/b; name=n.exe\r\nContent-Disposition: attachment; filename=f.exe\r\n", "n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine.tested.clear();
        std::string path = dir.write("m.eml",
            "Subject: s\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\ntext\r\n--b\r\n" + c.partHeader
                + "\r\nVIRUS:Found\r\n--b--\r\n");
        MailScanOutcome outcome = scan(path);
        EXPECT_EQ(outcome.disposition, Disposition::Rewritten);
        EXPECT_EQ(outcome.lastVirusName, "Found");
        ASSERT_EQ(engine.tested.size(), 4u); // message, two parts, the rewritten message
        EXPECT_EQ(std::filesystem::path(engine.tested[2].path).filename(), c.testedName);
        ASSERT_EQ(outcome.attachments.size(), 3u);
        EXPECT_EQ(outcome.attachments[2].shownAs, c.testedName);
    }
}

TEST_F(MailScanTest, HostileAttachmentNamesNeverWriteElsewhere)
{
    std::string outside = dir.write("evil.exe", "outside");
    std::string passwd = dir.write("passwd", "root:x:0:0");
    std::string message = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    const std::string names[] = { "../evil.exe", "../../passwd", dir.path() + "/passwd", "..", ".", "same.exe",
        "same.exe", std::string(2000, 'L') + ".exe", "a\r\nb", "..\\..\\evil.exe" };
    for (const auto& name : names) // contents differ: equal ones would be tested once
        message += "--b\r\nContent-Type: application/x; name=\"" + name + "\"\r\n\r\nVIRUS:X " + name + " #"
            + std::to_string(&name - names) + "\r\n";
    message += "--b--\r\n";
    std::string path = dir.write("hostile.eml", message);

    MailScanOutcome outcome = scan(path);
    EXPECT_EQ(outcome.disposition, Disposition::Rewritten);
    ASSERT_EQ(engine.tested.size(), std::size(names) + 2); // and the message, before and after
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const auto& t = engine.tested[i + 1];
        SCOPED_TRACE(t.path);
        EXPECT_LE(t.path.size(), MaxEnginePathBytes);
        EXPECT_EQ(t.path.rfind(scratch + "/vzmail-", 0), 0u);
        EXPECT_EQ(std::filesystem::path(t.path).parent_path().parent_path(), scratch);
        EXPECT_EQ(t.content, "VIRUS:X " + names[i] + " #" + std::to_string(i)) << "each part is tested as itself";
    }
    EXPECT_EQ(test::readAll(outside), "outside");
    EXPECT_EQ(test::readAll(passwd), "root:x:0:0");
    EXPECT_TRUE(scratchIsEmpty());
}

TEST_F(MailScanTest, GuardIsOffMeanwhileAndRestoredAsItWas)
{
    struct Case {
        bool wasOn;
        bool opens;
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        { true, true, { "off", "on" } },
        { false, true, { "off" } },
        { true, false, { "off", "on" } },
        { false, false, { "off" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "on " << c.wasOn << " opens " << c.opens);
        RecordingGuard caseGuard(c.wasOn);
        MarkerEngine caseEngine(caseGuard);
        MailScan mailScan(caseGuard, caseEngine, atoms, scratch);
        std::string path = c.opens ? dir.write("g.eml", "Subject: x\r\n\r\nbody\r\n") : dir.file("missing.eml");
        MailScanOutcome outcome = mailScan.scanMessage(path);
        EXPECT_EQ(outcome.disposition, c.opens ? Disposition::Deleted : Disposition::NotOpened);
        EXPECT_EQ(caseGuard.sent, c.sent);
        EXPECT_EQ(caseGuard.guardFlag(), c.wasOn);
        for (const auto& t : caseEngine.tested)
            EXPECT_FALSE(t.guardFlagMeanwhile);
    }
}

TEST_F(MailScanTest, UnixLineEndsAreParsedAndTheRewriteKeepsBlankLines)
{
    std::string message = "Subject: lf\n"
                          "Content-Type: multipart/mixed; boundary=\"----=_L\"\n"
                          "\n"
                          "------=_L\n"
                          "Content-Type: application/x; name=\"v.com\"\n"
                          "Content-Disposition: attachment\n"
                          "\n"
                          "VIRUS:Lf\n"
                          "------=_L--\n";
    std::string path = dir.write("lf.eml", message);
    MailScanOutcome outcome = scan(path);
    ASSERT_EQ(outcome.disposition, Disposition::Rewritten);
    EXPECT_EQ(test::readAll(path),
        "Subject: [Vantrelo Vodazedad removed virus: Lf] lf\r\n"
        "Content-Type: multipart/mixed; boundary=\"----=_L\"\r\n"
        "\r\n"
        "------=_L\r\n"
        "Content-Type: application/x; name=\"v.com\"\r\n"
        "Content-Disposition: attachment\r\n"
        "------=_L--\r\n");
}

TEST_F(MailScanTest, WhatCannotBeTestedIsNotPassedAsClean)
{
    // No place for the temporary files: the message stays, no atom.
    std::string path = dir.write("m.eml", "Subject: x\r\nContent-Type: application/x; name=a\r\n\r\nMZ\r\n");
    MailScan noScratch(guard, engine, atoms, dir.file("no-such-folder"));
    MailScanOutcome outcome = noScratch.scanMessage(path);
    EXPECT_EQ(outcome.disposition, Disposition::NotScanned);
    EXPECT_FALSE(outcome.problems.empty());
    EXPECT_EQ(test::readAll(path), "Subject: x\r\nContent-Type: application/x; name=a\r\n\r\nMZ\r\n");
    EXPECT_TRUE(engine.tested.empty());

    // Too large to take into memory: left as it is, reported.
    std::string large = dir.write("large.eml", "Subject: x\r\n\r\n" + std::string(2000, 'a'));
    MailScan small(guard, engine, atoms, scratch);
    small.setMaxMessageBytes(1000);
    outcome = small.scanMessage(large);
    EXPECT_EQ(outcome.disposition, Disposition::NotScanned);
    EXPECT_EQ(outcome.problems.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(large));
    EXPECT_TRUE(engine.tested.empty());

    // A message the parser cannot take apart is still tested whole; the rewrite
    // cannot remove a virus in the header, so it is not handed back as cleaned.
    std::string broken = dir.write("broken.eml", "Subject: x\r\nX-Payload: VIRUS:Whole");
    outcome = scan(broken);
    EXPECT_EQ(outcome.disposition, Disposition::LeftUnchanged);
    EXPECT_TRUE(outcome.infected);
    EXPECT_EQ(outcome.lastVirusName, "Whole");
    EXPECT_EQ(test::readAll(broken), "Subject: x\r\nX-Payload: VIRUS:Whole");

    // Infected, but the rewrite cannot happen: the message stays, the atom says it.
    std::string blocked = dir.write("blocked.eml", TwoInfected);
    dir.mkdir("blocked.eml.TMP");
    dir.write("blocked.eml.TMP/keep", "x");
    outcome = scan(blocked);
    EXPECT_EQ(outcome.disposition, Disposition::LeftUnchanged);
    EXPECT_TRUE(outcome.infected);
    EXPECT_EQ(test::readAll(blocked), TwoInfected);
    EXPECT_TRUE(atoms.findAtom("qelavat").value());
}

TEST_F(MailScanTest, RequestRunsTheScanOnItsOwnThreadAndWaits)
{
    MailScan mailScan(guard, engine, atoms, scratch);
    MailRequest request(mailScan);
    std::string infected = dir.write("i.eml", TwoInfected);
    EXPECT_EQ(request.run(infected), 1);
    EXPECT_EQ(request.outcome().disposition, Disposition::Rewritten);
    ASSERT_FALSE(engine.tested.empty());
    EXPECT_NE(engine.tested[0].thread, std::this_thread::get_id());

    std::string clean = dir.write("c.eml", "Subject: x\r\n\r\nhello\r\n");
    EXPECT_EQ(request.run(clean), 0);
    EXPECT_EQ(request.outcome().disposition, Disposition::Deleted);
    EXPECT_FALSE(std::filesystem::exists(clean)) << "the request returns only when the scan is complete";
}

// "VIRUS:Hidden" in base64: only a parser that reaches the part decodes it.
const std::string HiddenVirus = "VklSVVM6SGlkZGVu";

std::string nestedAround(int depth, const std::string& leaf)
{
    std::string head, tail;
    for (int i = 0; i < depth; ++i) {
        head += "Content-Type: multipart/mixed; boundary=n" + std::to_string(i) + "\r\n\r\n--n" + std::to_string(i) + "\r\n";
        tail = "\r\n--n" + std::to_string(i) + "--\r\n" + tail;
    }
    return head + leaf + tail;
}

TEST_F(MailScanTest, BoundsMeanNotScannedNeverClean)
{
    engine.inMemory = true; // ten thousand parts need no ten thousand files here
    const std::string hiddenPart = "Content-Type: application/x\r\nContent-Transfer-Encoding: base64\r\n\r\n" + HiddenVirus;
    auto afterManyParts = [&] {
        std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
        for (std::size_t i = 0; i < limits::MaxParts; ++i)
            text += "--b\r\n\r\n" + std::to_string(i) + "\r\n";
        return text + "--b\r\n" + hiddenPart + "\r\n--b--\r\n";
    };
    auto manyFields = [&] {
        std::string text;
        for (std::size_t i = 0; i <= limits::MaxFieldsPerHeader; ++i)
            text += "X-F: " + std::to_string(i) + "\r\n";
        return text + "Content-Transfer-Encoding: base64\r\n\r\n" + HiddenVirus + "\r\n";
    };
    const std::string longBoundary(limits::MaxBoundaryLength + 1, 'q');
    const std::string part = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n";
    struct Case {
        const char* what;
        std::string message;
        bool infected;
    };
    const Case cases[] = {
        { "51 levels deep", nestedAround(51, hiddenPart), false },
        { "infected part after the last part parsed", afterManyParts(), false },
        { "more fields than kept", manyFields(), false },
        { "boundary too long",
            "Content-Type: multipart/mixed; boundary=" + longBoundary + "\r\n\r\n--" + longBoundary + "\r\n" + hiddenPart
                + "\r\n--" + longBoundary + "--\r\n",
            false },
        { "the engine fails on a part", part + "ENGINE:error\r\n--b--\r\n", false },
        { "the engine meets its limits in a part", part + "ENGINE:limits\r\n--b--\r\n", false },
        { "a virus found and a bound met", nestedAround(51, hiddenPart + "\r\n--n50\r\n\r\nVIRUS:Seen"), true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = dir.write("bound.eml", c.message);
        MailScanOutcome outcome = scan(path);
        EXPECT_EQ(outcome.disposition, Disposition::NotScanned);
        EXPECT_EQ(outcome.infected, c.infected);
        EXPECT_FALSE(outcome.problems.empty());
        EXPECT_EQ(test::readAll(path), c.message) << "left unchanged";
        EXPECT_EQ(atoms.findAtom("qelavat").value(), c.infected);
        EXPECT_TRUE(scratchIsEmpty());
    }

    // A warning that does not say the engine saw less is no bound.
    std::string macro = dir.write("macro.eml", part + "ENGINE:macro\r\n--b--\r\n");
    EXPECT_EQ(scan(macro).disposition, Disposition::Deleted);
}

TEST_F(MailScanTest, RewriteCutsEveryInfectedPartAndStaysWellFormed)
{
    const std::string message =
        "Subject: Hello\r\n"
        "Content-Type: multipart/mixed; boundary=\"=_b\"\r\n"
        "\r\n"
        "--=_b\r\n"
        "Content-Type: text/plain\r\n"
        "\r\n"
        "clean text\r\n"
        "--=_b\r\n"
        "Content-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n"
        + HiddenVirus + "\r\n"
        "--=_b\r\n"
        "Content-Type: application/octet-stream\r\n"
        "content-disposition: attachment; filename=\"b.exe\"\r\n"
        "\r\n"
        "VIRUS:Lower\r\n"
        "--=_b\r\n"
        "Content-Type: text/html\r\n"
        "\r\n"
        "<p>clean html</p>\r\n"
        "--=_b--\r\n";
    std::string path = dir.write("cut.eml", message);
    MailScanOutcome outcome = scan(path);
    ASSERT_EQ(outcome.disposition, Disposition::Rewritten);
    EXPECT_EQ(outcome.lastVirusName, "Lower");

    const std::string rewritten = test::readAll(path);
    EXPECT_EQ(rewritten.find(HiddenVirus), std::string::npos);
    EXPECT_EQ(rewritten.find("VIRUS:"), std::string::npos);
    EXPECT_EQ(rewritten.rfind("Subject: [Vantrelo Vodazedad removed virus: Lower] Hello\r\n", 0), 0u);
    // Parsed again: four parts, the clean ones whole, the infected ones empty, and the
    // close delimiter ends the body.
    MailMessage parsed;
    ASSERT_GT(parsed.load(rewritten), 0);
    EXPECT_EQ(parsed.boundsMet(), 0u);
    std::vector<MessagePart*> leaves;
    parsed.collectLeaves(leaves);
    ASSERT_EQ(leaves.size(), 4u);
    EXPECT_EQ(leaves[0]->contentView(), "clean text");
    EXPECT_EQ(leaves[1]->contentLength(), 0u);
    EXPECT_EQ(leaves[2]->contentLength(), 0u);
    EXPECT_EQ(leaves[3]->contentView(), "<p>clean html</p>");
    EXPECT_TRUE(rewritten.ends_with("\r\n--=_b--\r\n"));
}

TEST_F(MailScanTest, EqualContentsAreTestedOnceInMemory)
{
    engine.inMemory = true;
    std::string message = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (int i = 0; i < 3; ++i)
        message += "--b\r\nContent-Transfer-Encoding: base64\r\n\r\n" + HiddenVirus + "\r\n";
    for (int i = 0; i < 3; ++i)
        message += "--b\r\n\r\nsame clean text\r\n";
    message += "--b\r\n\r\nother text\r\n--b--\r\n";
    std::string path = dir.write("dup.eml", message);
    MailScanOutcome outcome = scan(path);
    ASSERT_EQ(outcome.disposition, Disposition::Rewritten);

    std::vector<std::string> contents;
    for (const auto& t : engine.tested) {
        EXPECT_TRUE(t.path.empty()) << "tested in memory";
        contents.push_back(t.content);
    }
    ASSERT_EQ(contents.size(), 5u); // message, three distinct contents, the rewrite
    EXPECT_EQ(contents[1], "VIRUS:Hidden");
    EXPECT_EQ(contents[2], "same clean text");
    EXPECT_EQ(contents[3], "other text");
    EXPECT_TRUE(scratchIsEmpty()) << "no file on disk at all";
    // Every copy of the infected content is cut, each copy is reported.
    ASSERT_EQ(outcome.attachments.size(), 8u);
    for (std::size_t i = 1; i <= 3; ++i)
        EXPECT_EQ(outcome.attachments[i].virusName, "Hidden");
    EXPECT_EQ(test::readAll(path).find(HiddenVirus), std::string::npos);
}

TEST_F(MailScanTest, CheckOnlyReportsAndChangesNothing)
{
    MailScan check(guard, engine, atoms, scratch);
    check.setCheckOnly(true);
    struct Case {
        std::string message;
        bool infected;
    };
    const Case cases[] = {
        { "Subject: hi\r\n\r\nhello\r\n", false },
        { TwoInfected, true },
    };
    for (const Case& c : cases) {
        std::string path = dir.write("check.eml", c.message);
        MailScanOutcome outcome = check.scanMessage(path);
        EXPECT_EQ(outcome.disposition, Disposition::Checked);
        EXPECT_EQ(outcome.infected, c.infected);
        EXPECT_EQ(test::readAll(path), c.message);
        EXPECT_FALSE(atoms.findAtom("qelavat").value());
    }
}

} // namespace
} // namespace vz::mail
