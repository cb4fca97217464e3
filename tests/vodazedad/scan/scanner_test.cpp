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
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

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

} // namespace vz::scan
