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

TEST(ScannerOptions, ExitStatus)
{
    EXPECT_EQ(scannerExitStatus(0, 0), 0);
    EXPECT_EQ(scannerExitStatus(3, 0), 1);
    EXPECT_EQ(scannerExitStatus(3, 2), 1);
    EXPECT_EQ(scannerExitStatus(0, 2), 2);
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
