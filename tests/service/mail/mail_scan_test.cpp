#include "platform/atoms/file_atom_table.h"
#include "service/mail/mail_request.h"
#include "service/mail/mail_scan.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace vz::mail {
namespace {

using Disposition = MailScanOutcome::Disposition;

// Stands in for the engine where a test needs a detection: a file whose content holds
// "VIRUS:<name>" is infected with <name>. Remembers what it was given.
class MarkerEngine final : public MailEnginePort {
public:
    explicit MarkerEngine(const GuardPort& guard) : m_guard(guard) {}

    FileVerdict testFile(const std::string& path) override
    {
        Tested t { path, test::readAll(path), m_guard.guardFlag(), std::this_thread::get_id() };
        tested.push_back(t);
        FileVerdict verdict;
        auto marker = t.content.find("VIRUS:");
        if (marker != std::string::npos) {
            auto end = t.content.find_first_of(" \r\n", marker);
            verdict.flags = TestFlag::Virus;
            verdict.virusName = t.content.substr(marker + 6, end == std::string::npos ? std::string::npos : end - marker - 6);
        }
        return verdict;
    }

    struct Tested {
        std::string path;
        std::string content;
        bool guardFlagMeanwhile;
        std::thread::id thread;
    };
    std::vector<Tested> tested;

private:
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
    // The whole message first, then every part, the text part too.
    ASSERT_EQ(engine.tested.size(), 4u);
    EXPECT_EQ(engine.tested[0].content, TwoInfected);
    EXPECT_EQ(engine.tested[2].content, "VIRUS:First");
    EXPECT_EQ(engine.tested[3].content, "VIRUS:Second");

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
        ASSERT_EQ(engine.tested.size(), 3u);
        EXPECT_EQ(std::filesystem::path(engine.tested[2].path).filename(), c.testedName);
    }
}

TEST_F(MailScanTest, HostileAttachmentNamesNeverWriteElsewhere)
{
    std::string outside = dir.write("evil.exe", "outside");
    std::string passwd = dir.write("passwd", "root:x:0:0");
    std::string message = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    const std::string names[] = { "../evil.exe", "../../passwd", dir.path() + "/passwd", "..", ".", "same.exe",
        "same.exe", std::string(2000, 'L') + ".exe", "a\r\nb", "..\\..\\evil.exe" };
    for (const auto& name : names)
        message += "--b\r\nContent-Type: application/x; name=\"" + name + "\"\r\n\r\nVIRUS:X " + name + "\r\n";
    message += "--b--\r\n";
    std::string path = dir.write("hostile.eml", message);

    MailScanOutcome outcome = scan(path);
    EXPECT_EQ(outcome.disposition, Disposition::Rewritten);
    ASSERT_EQ(engine.tested.size(), std::size(names) + 1);
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const auto& t = engine.tested[i + 1];
        SCOPED_TRACE(t.path);
        EXPECT_LE(t.path.size(), MaxEnginePathBytes);
        EXPECT_EQ(t.path.rfind(scratch + "/vzmail-", 0), 0u);
        EXPECT_EQ(std::filesystem::path(t.path).parent_path().parent_path(), scratch);
        EXPECT_EQ(t.content, "VIRUS:X " + names[i]) << "each part is tested as itself";
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
    EXPECT_EQ(outcome.disposition, Disposition::LeftUnchanged);
    EXPECT_FALSE(outcome.problems.empty());
    EXPECT_EQ(test::readAll(path), "Subject: x\r\nContent-Type: application/x; name=a\r\n\r\nMZ\r\n");
    EXPECT_TRUE(engine.tested.empty());

    // Too large to take into memory: left as it is, reported.
    std::string large = dir.write("large.eml", "Subject: x\r\n\r\n" + std::string(2000, 'a'));
    MailScan small(guard, engine, atoms, scratch);
    small.setMaxMessageBytes(1000);
    outcome = small.scanMessage(large);
    EXPECT_EQ(outcome.disposition, Disposition::LeftUnchanged);
    EXPECT_EQ(outcome.problems.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(large));
    EXPECT_TRUE(engine.tested.empty());

    // A message the parser cannot take apart is still tested whole.
    std::string broken = dir.write("broken.eml", "Subject: x\r\nX-Payload: VIRUS:Whole");
    outcome = scan(broken);
    EXPECT_EQ(outcome.disposition, Disposition::Rewritten);
    EXPECT_EQ(outcome.lastVirusName, "Whole");

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

} // namespace
} // namespace vz::mail
