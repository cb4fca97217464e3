// The mail scan with the real scan engine of the build's installation folder, and the
// administrators' tool on message files.
#include "common/engine/scan_engine.h"
#include "common/environment.h"
#include "platform/atoms/file_atom_table.h"
#include "common/settings/profile.h"
#include "common/settings/settings_names.h"
#include "platform/dynlib/dynamic_library.h"
#include "platform/registry/sqlite_registry.h"
#include "service/mail/engine_file_tester.h"
#include "service/mail/mail_scan.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace vz::mail {
namespace {

// The standard antivirus test file, put together here so that this source is not
// itself taken for it.
std::string standardTestFile()
{
    return std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR-STANDARD-ANTIVIRUS-" + "TEST-FILE!$H+H*";
}

std::string base64(std::string_view in)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size())
            v |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (i + 2 < in.size())
            v |= static_cast<unsigned char>(in[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < in.size() ? alphabet[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? alphabet[v & 63] : '=';
    }
    return out;
}

// An attachment named only by Content-Disposition, as many mailers write it.
std::string infectedMessage()
{
    return "Subject: report\r\n"
           "Content-Type: multipart/mixed; boundary=\"----=_A\"\r\n"
           "\r\n"
           "------=_A\r\n"
           "Content-Type: text/plain\r\n"
           "\r\n"
           "see attached\r\n"
           "------=_A\r\n"
           "Content-Type: application/octet-stream\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=\"../report.com\"\r\n"
           "\r\n"
        + base64(standardTestFile()) + "\r\n------=_A--\r\n";
}

TEST(MailScanWithEngine, InfectedAttachmentIsFoundAndCutOut)
{
    platform::DynamicLibraryLoader loader;
    auto engine = engine::ScanEngine::start(loader, engine::EnginePaths::inFolder(test::builtAppDir()));
    ASSERT_TRUE(engine.ok()) << engine.error().text();
    EngineFileTester tester(**engine);

    test::TempDir dir;
    NoGuard guard;
    platform::FileAtomTable atoms(dir.file("atoms"));
    MailScan scan(guard, tester, atoms, dir.mkdir("scratch"));

    std::string infected = dir.write("infected.eml", infectedMessage());
    MailScanOutcome outcome = scan.scanMessage(infected);
    ASSERT_EQ(outcome.disposition, MailScanOutcome::Disposition::Rewritten);
    ASSERT_FALSE(outcome.lastVirusName.empty());
    std::string rewritten = test::readAll(infected);
    EXPECT_EQ(rewritten.rfind("Subject: [Vantrelo Vodazedad removed virus: " + outcome.lastVirusName + "] report\r\n", 0), 0u);
    EXPECT_EQ(rewritten.find(base64(standardTestFile())), std::string::npos);
    EXPECT_TRUE(atoms.findAtom("qelavat").value());
    EXPECT_FALSE(std::filesystem::exists(dir.file("report.com")));

    // A stray character in the base64 text ends our decoder early, while other mail
    // programs read on: the test of the whole message still finds it.
    std::string encoded = base64(standardTestFile());
    std::string stray = dir.write("stray.eml",
        "Subject: s\r\nContent-Type: application/octet-stream; name=x.com\r\nContent-Transfer-Encoding: base64\r\n\r\n"
            + encoded.substr(0, 8) + "*" + encoded.substr(8) + "\r\n");
    outcome = scan.scanMessage(stray);
    EXPECT_EQ(outcome.disposition, MailScanOutcome::Disposition::Rewritten);
    ASSERT_EQ(outcome.attachments.size(), 2u);
    EXPECT_EQ(outcome.attachments[0].name, "message.eml");
    EXPECT_FALSE(outcome.attachments[0].virusName.empty());
    EXPECT_TRUE(outcome.attachments[1].virusName.empty()) << "the part alone decodes to a harmless prefix";

    std::string clean = dir.write("clean.eml", "Subject: hi\r\nContent-Type: application/x; name=a.txt\r\n\r\nharmless\r\n");
    EXPECT_EQ(scan.scanMessage(clean).disposition, MailScanOutcome::Disposition::Deleted);
    EXPECT_FALSE(std::filesystem::exists(clean));
}

TEST(MailScanWithEngine, BoundsAndHeaderlessInfectedPartsAreNeverPassed)
{
    platform::DynamicLibraryLoader loader;
    auto engine = engine::ScanEngine::start(loader, engine::EnginePaths::inFolder(test::builtAppDir()));
    ASSERT_TRUE(engine.ok()) << engine.error().text();
    EngineFileTester tester(**engine);
    test::TempDir dir;
    NoGuard guard;
    platform::FileAtomTable atoms(dir.file("atoms"));
    MailScan scan(guard, tester, atoms, dir.mkdir("scratch"));
    const std::string encoded = base64(standardTestFile());

    // 51 levels deep: whatever the engine makes of it, the message is not passed.
    std::string head, tail;
    for (int i = 0; i < 51; ++i) {
        head += "Content-Type: multipart/mixed; boundary=d" + std::to_string(i) + "\r\n\r\n--d" + std::to_string(i) + "\r\n";
        tail = "\r\n--d" + std::to_string(i) + "--\r\n" + tail;
    }
    const std::string deep = head + "Content-Transfer-Encoding: base64\r\n\r\n" + encoded + tail;
    std::string deepPath = dir.write("deep.eml", deep);
    EXPECT_EQ(scan.scanMessage(deepPath).disposition, MailScanOutcome::Disposition::NotScanned);
    EXPECT_EQ(test::readAll(deepPath), deep);

    // An infected part with no Content-Disposition: cut out, the rest stays.
    std::string plain = dir.write("plain.eml",
        "Subject: s\r\nContent-Type: multipart/mixed; boundary=p\r\n\r\n--p\r\n\r\nhello\r\n"
        "--p\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n"
            + encoded + "\r\n--p--\r\n");
    MailScanOutcome outcome = scan.scanMessage(plain);
    ASSERT_EQ(outcome.disposition, MailScanOutcome::Disposition::Rewritten);
    std::string rewritten = test::readAll(plain);
    EXPECT_EQ(rewritten.find(encoded), std::string::npos);
    EXPECT_NE(rewritten.find("\r\n--p\r\n\r\nhello\r\n--p\r\n"), std::string::npos);
    EXPECT_TRUE(rewritten.ends_with("\r\n--p--\r\n"));
}

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

ToolRun runTool(const std::string& arguments)
{
    ToolRun run;
    std::string command = "'" + test::builtAppDir() + "vodazedad-mailscan' " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe))
        run.output += buf;
    int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(MailScanTool, RewritesDeletesAndReports)
{
    test::TempDir dir;
    test::ScopedEnv runtime(environment::RuntimeDirVariable, dir.file("run"));
    std::string infected = dir.write("infected.eml", infectedMessage());
    std::string clean = dir.write("clean.eml", "Subject: hi\r\n\r\nhello\r\n");

    struct Case {
        std::string arguments;
        int exitCode;
        std::string firstLine;
    };
    const Case cases[] = {
        { "'" + clean + "'", 0, clean + ": clean, deleted\n" },
        { "'" + infected + "'", 1, infected + ": infected (" },
        { "'" + dir.file("missing.eml") + "'", 2, dir.file("missing.eml") + ": cannot be opened\n" },
        { "", 2, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        ToolRun run = runTool(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.output.substr(0, c.firstLine.size()), c.firstLine);
    }
    EXPECT_FALSE(std::filesystem::exists(clean));
    EXPECT_NE(test::readAll(infected).find("removed virus: "), std::string::npos);
    EXPECT_EQ(test::readAll(dir.file("run/atoms/qelavat")), "1\n");
}

TEST(MailScanTool, HelpCheckUnnamedPartsAndTheMachineLanguage)
{
    test::TempDir dir;
    test::ScopedEnv runtime(environment::RuntimeDirVariable, dir.file("run"));

    ToolRun help = runTool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("clean        the message file is DELETED"), std::string::npos);
    EXPECT_NE(help.output.find("Exit code: 0 every file clean; 1 a virus was found"), std::string::npos);
    EXPECT_EQ(runTool("--bogus").exitCode, 2);

    // --check leaves both files as they are and adds no atom; an infected part without
    // a name is shown under the name it was tested as.
    const std::string unnamed = "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ntext\r\n"
                                "--b\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + base64(standardTestFile()) + "\r\n--b--\r\n";
    std::string infected = dir.write("unnamed.eml", unnamed);
    std::string clean = dir.write("clean.eml", "Subject: hi\r\n\r\nhello\r\n");
    ToolRun check = runTool("--check '" + clean + "' '" + infected + "'");
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_NE(check.output.find(clean + ": clean, checked only\n"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("\n  attachment-2: "), std::string::npos) << check.output;
    EXPECT_EQ(test::readAll(infected), unnamed);
    EXPECT_EQ(test::readAll(clean), "Subject: hi\r\n\r\nhello\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("run/atoms/qelavat")));

    // The texts follow the machine-wide Language, not the user's Options Language.
    test::ScopedEnv registryDir(environment::RegistryDirVariable, dir.mkdir("registry"));
    {
        auto registry = platform::openRegistry(platform::RegistryLocation::fromEnvironment());
        ASSERT_TRUE(registry);
        auto key = registry->createKey(Hive::LocalMachine, settings::MachineKey);
        ASSERT_TRUE(key.ok());
        ASSERT_TRUE((*key)->set(settings::Language, RegValue::string("de-de")).ok());
        ASSERT_TRUE(Profile(*registry).writeString(settings::Options, settings::OptLanguage, "en-us").ok());
    }
    ToolRun german = runTool("'" + clean + "'");
    EXPECT_EQ(german.exitCode, 0);
    EXPECT_EQ(german.output, clean + ": sauber, gelöscht\n");
}

} // namespace
} // namespace vz::mail
