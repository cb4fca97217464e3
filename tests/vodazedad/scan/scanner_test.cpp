#include "vodazedad/scan/scanner_options.h"

#include "common/files.h"
#include "common/records/infection_log.h"
#include "common/records/quarantine_index.h"
#include "common/records/scan_log.h"
#include "common/records/scan_report.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vz::scan {

TEST(ScannerOptions, ArgumentsAndTheirErrors)
{
    using Kind = ScannerOptions::Kind;
    struct Case {
        std::vector<std::string> args;
        bool ok;
        Kind kind;
        std::optional<int> action;
    } cases[] = {
        { { "/home" }, true, Kind::Paths, std::nullopt },
        { { "--action", "clean", "a", "b" }, true, Kind::Paths, 0 },
        { { "--action=quarantine", "a" }, true, Kind::Paths, 1 },
        { { "--action", "delete", "--", "--odd-name" }, true, Kind::Paths, 2 },
        { { "--action", "none", "a" }, true, Kind::Paths, 3 },
        { { "--memory" }, true, Kind::Memory, std::nullopt },
        { { "--entire-system" }, true, Kind::Command, std::nullopt },
        { { "--help", "--bogus" }, true, Kind::Help, std::nullopt },
        { {}, false, Kind::Paths, std::nullopt },
        { { "--action" }, false, Kind::Paths, std::nullopt },
        { { "--action", "burn", "a" }, false, Kind::Paths, std::nullopt },
        { { "--bogus", "a" }, false, Kind::Paths, std::nullopt },
        { { "--system", "--cds" }, false, Kind::Paths, std::nullopt },
        { { "--system", "/home" }, false, Kind::Paths, std::nullopt },
    };
    for (const auto& c : cases) {
        auto parsed = parseScannerOptions(c.args);
        ASSERT_EQ(parsed.options.has_value(), c.ok) << (c.args.empty() ? "(none)" : c.args[0]);
        if (!c.ok) {
            EXPECT_FALSE(parsed.error.empty());
            continue;
        }
        EXPECT_EQ(parsed.options->kind, c.kind);
        EXPECT_EQ(parsed.options->action, c.action);
    }
    auto commands = parseScannerOptions({ "--hard-drives" });
    EXPECT_EQ(commands.options->command, ScanCommand::HardDrives);
    EXPECT_EQ(parseScannerOptions({ "--", "--odd-name" }).options->paths, std::vector<std::string> { "--odd-name" });
}

TEST(ScannerOptions, ListingExclusionsVersionAndStandardInput)
{
    using Kind = ScannerOptions::Kind;
    struct Case {
        std::vector<std::string> args;
        bool ok;
        Kind kind = Kind::Paths;
        Listing listing = Listing::All;
        bool summary = true;
        bool json = false;
    } cases[] = {
        { { "-i", "a" }, true, Kind::Paths, Listing::Infected },
        { { "--infected", "--no-summary", "a" }, true, Kind::Paths, Listing::Infected, false },
        { { "--quiet", "-i", "a" }, true, Kind::Paths, Listing::Quiet }, // quiet wins either way
        { { "-i", "--quiet", "a" }, true, Kind::Paths, Listing::Quiet },
        { { "--json", "a" }, true, Kind::Paths, Listing::All, true, true },
        { { "--version" }, true, Kind::Version },
        { { "-V", "--bogus" }, true, Kind::Version },
        { { "-" }, true, Kind::StandardInput },
        { { "--action", "delete", "-" }, true, Kind::StandardInput },
        { { "--", "-" }, true, Kind::Paths }, // a file named "-"
        { { "-", "a" }, false },
        { { "-", "--memory" }, false },
        { { "--exclude" }, false },
        { { "--exclude=", "a" }, false },
        { { "--exclude-dir", "a" }, false }, // the pattern took the only target
        { { "--exclude-dirs=x", "a" }, false },
    };
    for (const auto& c : cases) {
        auto parsed = parseScannerOptions(c.args);
        ASSERT_EQ(parsed.options.has_value(), c.ok) << c.args[0] << " " << parsed.error;
        if (!c.ok) {
            EXPECT_FALSE(parsed.error.empty());
            continue;
        }
        EXPECT_EQ(parsed.options->kind, c.kind) << c.args[0];
        EXPECT_EQ(parsed.options->listing, c.listing) << c.args[0];
        EXPECT_EQ(parsed.options->summary, c.summary) << c.args[0];
        EXPECT_EQ(parsed.options->json, c.json) << c.args[0];
    }
    auto patterns = parseScannerOptions({ "--exclude=*.iso", "--exclude-dir", ".git", "--exclude", "a b", "--exclude-dir=/x/*", "t" });
    ASSERT_TRUE(patterns.options);
    EXPECT_EQ(patterns.options->exclusions.files, (std::vector<std::string> { "*.iso", "a b" }));
    EXPECT_EQ(patterns.options->exclusions.folders, (std::vector<std::string> { ".git", "/x/*" }));
    EXPECT_EQ(patterns.options->paths, std::vector<std::string> { "t" });

    // The help says what the default action is and never that unrepairable files are deleted.
    std::string usage = scannerUsage();
    EXPECT_NE(usage.find("which is quarantine unless changed"), std::string::npos);
    EXPECT_NE(usage.find("cannot be repaired is left"), std::string::npos);
    EXPECT_EQ(usage.find("cannot be repaired\n                     are deleted"), std::string::npos);
}

TEST(ScannerOptions, ExitStatus)
{
    struct Case {
        ScanVerdict verdict;
        int status;
    } cases[] = {
        { {}, 0 },
        { { .infections = 3 }, 1 },
        { { .infections = 3, .warnings = 2 }, 1 },
        { { .warnings = 2 }, 2 },
        // Stopped by Ctrl-C or SIGTERM: never 0.
        { { .aborted = true }, 2 },
        { { .infections = 1, .aborted = true }, 1 },
        { { .recordsNotWritten = 1 }, 2 },
        { { .infections = 1, .recordsNotWritten = 4 }, 1 },
        { { .missingTargets = 1 }, 2 },
        { { .infections = 2, .missingTargets = 1 }, 1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(scannerExitStatus(c.verdict), c.status) << c.verdict.infections << c.verdict.warnings << c.verdict.aborted
                                                         << c.verdict.recordsNotWritten << c.verdict.missingTargets;
}

namespace {

std::pair<int, std::string> run(const std::string& commandLine)
{
    std::string output;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe)
        return { -1, {} };
    std::array<char, 512> buf;
    while (std::fgets(buf.data(), buf.size(), pipe))
        output += buf.data();
    int status = ::pclose(pipe);
    return { WIFEXITED(status) ? WEXITSTATUS(status) : -1, output };
}

const std::string Eicar = std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

std::string shellQuoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A copy of the installation folder with an empty registry, and runs of its scanner
// with standard output and standard error apart.
class Installation {
public:
    Installation()
    {
        ::chmod(dir.path().c_str(), 0755);
        ok = run("cp -r " + shellQuoted(test::builtAppDir()) + " " + shellQuoted(dir.file("app"))).first == 0;
        dir.mkdir("registry");
    }

    std::string app() const { return dir.file("app") + "/"; }
    std::string env() const
    {
        return "VODAZEDAD_REGISTRY_DIR=" + shellQuoted(dir.file("registry")) + " VODAZEDAD_RUNTIME_DIR=" + shellQuoted(dir.file("run")) + " ";
    }

    struct Ran {
        int status = -1;
        std::string out;
        std::string err;
    };
    // `arguments` are put on the command line as they are (quote them).
    Ran scan(const std::string& arguments, const std::string& input = "/dev/null") const
    {
        std::string err = dir.file("stderr.txt");
        std::string command = env() + shellQuoted(app() + "vodazedad-scan") + " " + arguments + " <" + shellQuoted(input) + " 2>" + shellQuoted(err);
        Ran r;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return r;
        std::array<char, 4096> buf;
        for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0;)
            r.out.append(buf.data(), n);
        int status = ::pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = test::readAll(err);
        return r;
    }

    test::TempDir dir;
    bool ok = false;
};

long countLines(const std::string& text)
{
    return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST(Scanner, ACopiedInstallationQuarantinesTheTestFileAndRecordsIt)
{
    test::TempDir dir;
    // A copy of the installation folder and a registry folder with nothing in it.
    ASSERT_EQ(run("cp -r '" + test::builtAppDir() + "' '" + dir.file("app") + "'").first, 0);
    dir.mkdir("registry");
    std::string virus = dir.write("data/sub/eicar.com", std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*");
    dir.write("data/clean.txt", "nothing here");
    std::string env = "VODAZEDAD_REGISTRY_DIR='" + dir.file("registry") + "' VODAZEDAD_RUNTIME_DIR='" + dir.file("run") + "' ";
    // Started from the data folder with a relative target: records still hold full paths.
    auto [status, output] = run("cd '" + dir.file("data") + "' && " + env + "'" + dir.file("app/vodazedad-scan") + "' .");
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("Files scanned: 2"), std::string::npos) << output;
    EXPECT_NE(output.find("Report: "), std::string::npos) << output;

    std::string app = dir.file("app") + "/";
    EXPECT_FALSE(files::exists(virus));
    ASSERT_TRUE(files::exists(app + "Quarantine/AV0.QRT"));
    EXPECT_EQ(files::status(app + "Quarantine/AV0.QRT")->mode & 077, 0u);

    records::RecordLocation location(app);
    auto log = records::readScanLog(location);
    ASSERT_TRUE(log.ok());
    ASSERT_EQ(log->size(), 1u);
    EXPECT_EQ((*log)[0].resultCode, 6 * 16 + 2);
    EXPECT_EQ((*log)[0].infections, 1);
    EXPECT_EQ((*log)[0].task, dir.file("data"));

    auto report = records::readScanReport((*log)[0].reportPath);
    ASSERT_TRUE(report.ok());
    bool quarantined = false;
    for (const auto& r : *report)
        quarantined = quarantined || (r.code == records::RecordCode::Quarantined && r.path() == virus);
    EXPECT_TRUE(quarantined);

    auto infections = records::readInfectionLog(location);
    ASSERT_TRUE(infections.ok());
    ASSERT_EQ(infections->size(), 1u);
    EXPECT_EQ((*infections)[0].path, virus);

    auto index = records::readQuarantineIndex(location);
    ASSERT_TRUE(index.ok());
    ASSERT_EQ(index->size(), 1u);
    EXPECT_EQ((*index)[0].fileName, "AV0.QRT");
    EXPECT_EQ((*index)[0].formerPath, virus);

    // A clean folder exits 0; a missing target is an error.
    EXPECT_EQ(run(env + "'" + app + "vodazedad-scan' '" + dir.file("data") + "'").first, 0);
    EXPECT_EQ(run(env + "'" + app + "vodazedad-scan' '" + dir.file("nothing-here") + "'").first, 2);
    EXPECT_EQ(run(env + "'" + app + "vodazedad-scan' --help").first, 0);
}

TEST(Scanner, EachFileIsListedAsItIsDoneEvenWhenNoRecordCanBeWritten)
{
    Installation inst;
    ASSERT_TRUE(inst.ok);
    // Reports/ is a plain file: no report, log or index can be written.
    ASSERT_EQ(run("rm -rf " + shellQuoted(inst.app() + "Reports")).first, 0);
    inst.dir.write("app/Reports", "not a folder");
    std::string clean = inst.dir.write("data/clean.txt", "nothing here");
    // A name that would forge a clean line and clear the screen if printed raw.
    std::string hostile = inst.dir.write("data/a\n/etc/shadow: OK\x1b[2J\xff", "nothing here either");
    inst.dir.write("data/eicar.com", Eicar);

    auto r = inst.scan("--action none " + shellQuoted(inst.dir.file("data")));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find(clean + ": OK\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(inst.dir.file("data/a\\n/etc/shadow: OK\\x1b[2J\\xff: OK\n")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(inst.dir.file("data/eicar.com") + ": Vz-Test.StandardFile FOUND\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("/etc/shadow: OK\n"), std::string::npos);
    EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos);
    EXPECT_EQ(countLines(r.out), 3 + 5) << r.out; // three files, five summary lines, no report
    EXPECT_EQ(r.out.find("Report:"), std::string::npos) << r.out;
    // Said once, with what and why.
    auto said = r.err.find("a record could not be written: ");
    ASSERT_NE(said, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("a record could not be written", said + 1), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(inst.app() + "Reports/", said), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Not a directory", said), std::string::npos) << r.err;

    // Without infections the unwritten records decide: 2.
    auto cleanRun = inst.scan(shellQuoted(clean));
    EXPECT_EQ(cleanRun.status, 2) << cleanRun.out << cleanRun.err;
    EXPECT_NE(cleanRun.out.find(clean + ": OK\n"), std::string::npos) << cleanRun.out;
}

TEST(Scanner, ListingOptionsExclusionsAndMissingTargets)
{
    Installation inst;
    ASSERT_TRUE(inst.ok);
    std::string clean = inst.dir.write("data/clean.txt", "nothing here");
    std::string virus = inst.dir.write("data/sub/eicar.com", Eicar);
    inst.dir.write("data/skip.iso", Eicar);
    inst.dir.write("data/.git/eicar.com", Eicar);
    std::string data = shellQuoted(inst.dir.file("data")) + " --action none --exclude='*.iso' --exclude-dir=.git ";
    std::string found = virus + ": Vz-Test.StandardFile FOUND\n";
    struct Case {
        const char* options;
        std::string out; // all of standard output, or only its start when `prefix`
        bool prefix;
    } cases[] = {
        { "-i --no-summary", found, false },
        { "--quiet", "", false },
        { "--no-summary", "", true }, // checked below: both files, nothing else
        { "-i", found + "Files scanned: 2\n", true },
    };
    for (const auto& c : cases) {
        auto r = inst.scan(data + c.options);
        EXPECT_EQ(r.status, 1) << c.options << r.err;
        if (c.prefix)
            EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << c.options;
        else
            EXPECT_EQ(r.out, c.out) << c.options;
    }
    auto all = inst.scan(data + "--no-summary");
    EXPECT_EQ(countLines(all.out), 2) << all.out;
    EXPECT_NE(all.out.find(clean + ": OK\n"), std::string::npos) << all.out;

    // A missing target among others is said; the others are scanned; 2 without infections.
    auto missing = inst.scan(shellQuoted(inst.dir.file("gone")) + " " + shellQuoted(clean) + " " + shellQuoted(inst.dir.file("gone2")));
    EXPECT_EQ(missing.status, 2) << missing.out << missing.err;
    EXPECT_NE(missing.err.find(inst.dir.file("gone") + ": no such file or folder"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find(inst.dir.file("gone2") + ": no such file or folder"), std::string::npos) << missing.err;
    EXPECT_NE(missing.out.find(clean + ": OK\n"), std::string::npos) << missing.out;
    EXPECT_NE(missing.out.find("Files scanned: 1\n"), std::string::npos) << missing.out;
    // ...and infections still decide.
    EXPECT_EQ(inst.scan(shellQuoted(inst.dir.file("gone")) + " --action none " + shellQuoted(virus)).status, 1);
}

TEST(Scanner, ActionCleanRepairsTheRepairableHostAndLeavesWhatItCannotRepair)
{
    Installation inst;
    ASSERT_TRUE(inst.ok);
    ASSERT_EQ(run("cp -r " + shellQuoted(test::binaryDir() + "/sample") + " " + shellQuoted(inst.dir.file("sample"))).first, 0);
    std::string host = inst.dir.file("sample/repairable/host.txt");
    std::string eicar = inst.dir.file("sample/eicar.com");

    auto r = inst.scan("--action clean --json " + shellQuoted(inst.dir.file("sample")));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    // Repaired in place, not deleted: the appended block is gone, the host text stays.
    EXPECT_EQ(test::readAll(host), "This is a harmless host file.\n");
    EXPECT_EQ(test::readAll(eicar), Eicar);
    EXPECT_NE(r.out.find("{\"path\":\"" + host + "\",\"virus\":\"Vz-Test.AppendedBlock\",\"result\":\"cleaned\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("{\"path\":\"" + eicar + "\",\"virus\":\"Vz-Test.StandardFile\",\"result\":\"left\",\"action\":\"Virus can't be removed\",\"code\":3}"),
        std::string::npos)
        << r.out;
    // One JSON object and nothing else on standard output.
    EXPECT_EQ(r.out.rfind("{\"files_scanned\":", 0), 0u) << r.out;
    EXPECT_EQ(countLines(r.out), 1) << r.out;
    EXPECT_NE(r.out.find("\"infections\":3,\"removed\":1,"), std::string::npos) << r.out;
    EXPECT_FALSE(files::exists(inst.app() + "Quarantine/AV0.QRT"));
}

TEST(Scanner, StandardInputIsTestedAsStdinAndNeverActedOn)
{
    Installation inst;
    ASSERT_TRUE(inst.ok);
    std::string virus = inst.dir.write("in/eicar.com", Eicar);
    std::string clean = inst.dir.write("in/clean.txt", "nothing here");
    auto r = inst.scan("--action quarantine -", virus);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, 40), "stdin: Vz-Test.StandardFile FOUND\nFiles ") << r.out;
    EXPECT_EQ(test::readAll(virus), Eicar);
    EXPECT_FALSE(files::exists(inst.app() + "Quarantine/AV0.QRT"));
    EXPECT_EQ(r.err.find("/proc/self/fd"), std::string::npos) << r.err; // "Scan of stdin"

    auto ok = inst.scan("--json -", clean);
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
    EXPECT_NE(ok.out.find("\"files_scanned\":1,\"infections\":0,"), std::string::npos) << ok.out;

    auto version = inst.scan("--version");
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out.rfind("vodazedad-scan ", 0), 0u) << version.out;
    EXPECT_NE(version.out.find("\nEngine: "), std::string::npos) << version.out;
    EXPECT_NE(version.out.find("\nDefinitions: 1.0.0.1 of 20"), std::string::npos) << version.out;
    EXPECT_NE(version.out.find(" 3 signatures\n"), std::string::npos) << version.out;
}

namespace {

// Whether the process catches the signal (its handler is installed).
bool catches(pid_t pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

// The installed scanner started with pipes for its three standard streams.
struct Started {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;

    // Reads a stream to its end.
    static std::string readAll(int fd)
    {
        std::string text;
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<std::size_t>(n));
        return text;
    }
    // Reads standard error until `text` appeared; false at its end.
    bool waitOnStderr(const std::string& text, std::string& seen) const
    {
        char c;
        while (seen.find(text) == std::string::npos) {
            if (::read(err, &c, 1) != 1)
                return false;
            seen += c;
        }
        return true;
    }
    // Closes the pipes and answers the exit status (-1 when it did not exit).
    int finish(std::string& out, std::string& errText)
    {
        ::close(in);
        out = readAll(this->out);
        errText += readAll(err);
        ::close(this->out);
        ::close(err);
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }
};

Started start(const Installation& inst, const std::vector<std::string>& arguments)
{
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0)
        return {};
    std::string program = inst.app() + "vodazedad-scan";
    std::string registry = inst.dir.file("registry"), runtime = inst.dir.file("run");
    std::vector<char*> argv { program.data() };
    std::vector<std::string> args = arguments;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : { in[0], in[1], out[0], out[1], err[0], err[1] })
            ::close(fd);
        ::setenv("VODAZEDAD_REGISTRY_DIR", registry.c_str(), 1);
        ::setenv("VODAZEDAD_RUNTIME_DIR", runtime.c_str(), 1);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    return { pid, in[1], out[0], err[0] };
}

} // namespace

TEST(Scanner, CtrlCAndSigtermStopAScanWithANonZeroStatus)
{
    Installation inst;
    ASSERT_TRUE(inst.ok);
    // More listing than a pipe holds: the scan cannot end while the test reads nothing.
    constexpr int Files = 3000;
    for (int i = 0; i < Files; ++i)
        inst.dir.write("many/" + std::string(120, 'n') + std::to_string(i), std::to_string(i));
    for (int signal : { SIGINT, SIGTERM }) {
        SCOPED_TRACE(signal);
        // While the files are being listed.
        Started scan = start(inst, { inst.dir.file("many") });
        ASSERT_GT(scan.pid, 0);
        pollfd listed { scan.out, POLLIN, 0 };
        ASSERT_EQ(::poll(&listed, 1, -1), 1); // the first line: the scan runs
        ::kill(scan.pid, signal);
        std::string err;
        EXPECT_TRUE(scan.waitOnStderr("stopping the scan\n", err)) << err;
        std::string out;
        EXPECT_EQ(scan.finish(out, err), 2) << err;
        EXPECT_NE(out.find("Scanning aborted by user\n"), std::string::npos) << err;
        EXPECT_EQ(out.find("Files scanned: " + std::to_string(Files) + "\n"), std::string::npos);

        // While standard input, which stays open, is being read.
        Started input = start(inst, { "-" });
        ASSERT_GT(input.pid, 0);
        // Sent once the program handles it, which it does before it reads its input.
        while (!catches(input.pid, signal) && ::waitpid(input.pid, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ::kill(input.pid, signal);
        // Its output ends when the program does, while its input is still open.
        std::string inputOut = Started::readAll(input.out);
        std::string rest, inputErr;
        int status = input.finish(rest, inputErr);
        EXPECT_EQ(status, 2) << inputErr;
        EXPECT_NE(inputOut.find("Scanning aborted by user"), std::string::npos) << inputOut << inputErr;
    }
}

TEST(Scanner, APlainUserWithoutAConfigFolderGetsTheDefaultsWithArchives)
{
    Installation inst;
    ASSERT_TRUE(inst.ok);
    std::string zip = inst.dir.file("data/clam.zip");
    ASSERT_EQ(run("mkdir -p " + shellQuoted(inst.dir.file("data")) + " " + shellQuoted(inst.dir.file("home")) + " && cp "
                  + shellQuoted(test::binaryDir() + "/sample/archive/clam.zip") + " " + shellQuoted(zip))
                  .first,
        0);
    if (test::runningAsRoot()) {
        ASSERT_EQ(run("chown -R 65534:65534 " + shellQuoted(inst.dir.path())).first, 0);
    }
    // The user hive in a folder whose parent (the new ~/.config) does not exist yet.
    std::string hives = inst.dir.file("home/.config/vodazedad");
    std::string command = "HOME=" + shellQuoted(inst.dir.file("home")) + " VODAZEDAD_REGISTRY_DIR=" + shellQuoted(hives) + " VODAZEDAD_RUNTIME_DIR="
        + shellQuoted(inst.dir.file("run")) + " " + shellQuoted(inst.app() + "vodazedad-scan") + " --action none " + shellQuoted(zip);
    std::string output;
    bool asExpected = test::runAsUnprivileged([&] {
        auto [status, out] = run(command);
        std::printf("%s", out.c_str()); // shown when the test fails
        std::fflush(stdout);
        return status == 1 && out.find(zip + ": Vz-Test.Program FOUND\n") != std::string::npos
            && out.find("could not be") == std::string::npos;
    });
    EXPECT_TRUE(asExpected);
    EXPECT_TRUE(files::exists(hives + "/user.db"));
    struct stat st {};
    ASSERT_EQ(::stat(inst.dir.file("home/.config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
}

} // namespace vz::scan
