#include "tests/vodazedad/scan/scan_job_fixture.h"

#include "common/files.h"
#include "common/records/quarantine_index.h"

#include <sys/stat.h>
#include <unistd.h>

namespace vz::scan {

using namespace test_support;
using records::RecordCode;

namespace {

std::vector<RecordCode> codes(const std::vector<records::ReportRecord>& records)
{
    std::vector<RecordCode> out;
    for (const auto& r : records)
        out.push_back(r.code);
    return out;
}

} // namespace

TEST_F(ScanJobTest, TwoTargetsMakeOneTaskTextAndTellTheServiceEachTarget)
{
    std::string a = data.mkdir("a");
    std::string b = data.mkdir("b/data");
    data.write("a/one.txt", "clean");
    data.write("b/data/two.txt", "clean");
    auto job = makeJob();
    auto outcome = job.run(std::vector<std::string> { a + "/", " " + b }, records::ScanType::Folder, totals);

    EXPECT_EQ(outcome.filesHandled, 2);
    auto records = report(outcome.reportPath);
    ASSERT_EQ(codes(records), (std::vector<RecordCode> { RecordCode::Description, RecordCode::Start, RecordCode::FilesHandled, RecordCode::ScanTime }));
    std::string task = a + "/;  " + b;
    EXPECT_EQ(records[0].firstText(), "Scan of " + task);
    EXPECT_EQ(records[2].firstText(), "2");

    auto log = scanLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].task, task); // the task text keeps the leading blank
    EXPECT_EQ(log[0].reportPath, outcome.reportPath);
    EXPECT_EQ(log[0].resultCode, records::ScanType::Folder * 16 + records::ScanStatus::Completed);

    // The service heard of each target before it and with an empty payload after it;
    // leading blanks are gone from the target itself.
    ASSERT_EQ(windows.received.size(), 4u);
    EXPECT_EQ(windows.received[0].title, "qelavsrvw");
    EXPECT_EQ(windows.received[0].code, 3u);
    EXPECT_EQ(windows.received[0].payload, a + "/");
    EXPECT_EQ(windows.received[1].payload, "");
    EXPECT_EQ(windows.received[2].payload, b);
    EXPECT_EQ(windows.received[3].payload, "");
    EXPECT_EQ(screen.statusLines, (std::vector<std::string> { "Scan of " + a + "/", "", "Scan of " + b, "" }));
    EXPECT_EQ(screen.openedReport, outcome.reportPath);
    EXPECT_EQ(screen.scanningChanges, (std::vector<bool> { true, false }));
    EXPECT_EQ(screen.targetsBar, (std::pair<std::uint32_t, std::uint32_t> { 4, 4 }));
    EXPECT_EQ(screen.pauses.front(), 1000u);
    EXPECT_EQ(totals.scanCount, 1);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(ScanJobTest, AnEmptyFolderHasAReportButNoLogEntry)
{
    windows.present = false; // no service window: nothing delivered, nothing said
    auto job = makeJob();
    auto outcome = job.run(std::vector<std::string> { data.mkdir("empty") }, records::ScanType::Folder, totals);
    EXPECT_EQ(codes(report(outcome.reportPath)),
        (std::vector<RecordCode> { RecordCode::Description, RecordCode::Start, RecordCode::FilesHandled, RecordCode::ScanTime }));
    EXPECT_EQ(report(outcome.reportPath)[2].firstText(), "0");
    EXPECT_TRUE(scanLog().empty());
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Nothing to scan !");
    EXPECT_EQ(ui.shown[0].caption, "Vantrelo Vodazedad");
    EXPECT_EQ(ui.shown[0].icon, MessageIcon::Information);
    EXPECT_TRUE(screen.homeShown);
    EXPECT_TRUE(windows.received.empty());
}

TEST_F(ScanJobTest, CancellingTheFolderBrowserScansNothing)
{
    auto job = makeJob();
    auto outcome = job.run(std::nullopt, records::ScanType::Folder, totals);
    EXPECT_EQ(screen.browserTitle, "Please select a Directory");
    EXPECT_FALSE(outcome.ran);
    EXPECT_TRUE(outcome.reportPath.empty());
    EXPECT_TRUE(files::listDirectory(app.file("Reports"))->empty());
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Nothing to scan !");
    EXPECT_EQ(totals.scanCount, 1);

    // A chosen folder is the only target.
    data.write("f.txt", "x");
    screen.browserAnswer = data.path();
    auto chosen = makeJob().run(std::nullopt, records::ScanType::Folder, totals);
    EXPECT_EQ(chosen.filesHandled, 1);
}

TEST_F(ScanJobTest, QuarantinedFilesAreCountedButNeverTested)
{
    app.write("Quarantine/AV0.QRT", testVirus());
    app.write("plain.txt", "clean");
    auto outcome = makeJob().run(std::vector<std::string> { app.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.infections, 0);
    // plain.txt and AV0.QRT, plus what the scan wrote into Reports while it ran.
    EXPECT_GE(outcome.filesHandled, 2);
    for (const auto& path : tester.tested)
        EXPECT_EQ(path.find("/Quarantine/"), std::string::npos) << path;
}

TEST_F(ScanJobTest, InfectedFileIsQuarantinedAndRecordedEverywhere)
{
    std::string virus = data.write("sub/eicar.com", testVirus());
    data.write("clean.txt", "clean");
    auto outcome = makeJob().run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.infections, 1);
    EXPECT_EQ(outcome.removed, 1);
    EXPECT_FALSE(files::exists(virus));
    EXPECT_TRUE(files::exists(app.file("Quarantine/AV0.QRT")));

    auto records = report(outcome.reportPath);
    auto found = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.code == RecordCode::Quarantined; });
    ASSERT_NE(found, records.end());
    EXPECT_EQ(found->path(), virus);
    EXPECT_FALSE(found->virusName().empty());
    EXPECT_EQ(found->secondText, virus);

    auto infections = records::readInfectionLog(records::RecordLocation(appDir()));
    ASSERT_TRUE(infections.ok());
    ASSERT_EQ(infections->size(), 1u);
    EXPECT_EQ((*infections)[0].path, virus);

    auto log = scanLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].status(), records::ScanStatus::InfectionsFound);
    EXPECT_EQ(log[0].infections, 1);
    EXPECT_EQ(totals.foundCount, 1);
    EXPECT_EQ(totals.removedCount, 1);
}

TEST_F(ScanJobTest, ProtectedFilesKeepTheirWarningsToThemselves)
{
    std::string page = data.write("pagefile.sys", "x");
    std::string other = data.write("locked.bin", "x");
    tester.warnings[page] = 0x1;
    tester.warnings[other] = 0x1;
    auto outcome = makeJob().run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.filesHandled, 2);
    EXPECT_EQ(outcome.warnings, 1);
    int problems = 0;
    for (const auto& r : report(outcome.reportPath)) {
        if (r.code == RecordCode::Problem) {
            ++problems;
            EXPECT_EQ(r.path(), other);
            EXPECT_EQ(r.fields.size(), 3u);
            EXPECT_EQ(r.field(1), "");
        }
    }
    EXPECT_EQ(problems, 1);
    EXPECT_EQ(scanLog().at(0).warnings, 1);
}

TEST_F(ScanJobTest, CancelDuringTheSecondOfThreeTargets)
{
    std::vector<std::string> targets;
    for (const char* t : { "t1", "t2", "t3" }) {
        targets.push_back(data.mkdir(t));
        for (const char* f : { "a", "b", "c" })
            data.write(std::string(t) + "/" + f, "clean");
    }
    ScanJob job = makeJob();
    tester.beforeTest = [&](const std::string& path) {
        if (path.find("/t2/") != std::string::npos)
            job.cancel();
    };
    auto outcome = job.run(targets, records::ScanType::Folder, totals);
    EXPECT_TRUE(outcome.aborted);
    EXPECT_EQ(outcome.filesHandled, 4); // three of t1, the first of t2

    auto records = report(outcome.reportPath);
    int jobAborts = 0, walkAborts = 0;
    for (const auto& r : records) {
        if (r.code == RecordCode::Abort)
            (r.firstText() == "Scanning aborted by user" ? jobAborts : walkAborts)++;
    }
    EXPECT_EQ(jobAborts, 1);
    EXPECT_EQ(walkAborts, 1);
    EXPECT_EQ(records.back().code, RecordCode::ScanTime);
    EXPECT_EQ(records[records.size() - 2].code, RecordCode::FilesHandled);

    auto log = scanLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].status(), records::ScanStatus::Aborted);
    EXPECT_EQ(log[0].task, targets[0] + "; " + targets[1]);
    for (const auto& r : windows.received)
        EXPECT_NE(r.payload, targets[2]); // the third target never starts
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(ScanJobTest, ASymbolicLinkLoopIsNotFollowed)
{
    data.mkdir("d/e");
    data.write("d/e/file.txt", "x");
    ASSERT_EQ(::symlink(data.file("d").c_str(), data.file("d/e/up").c_str()), 0);
    ASSERT_EQ(::symlink(data.file("d/e/file.txt").c_str(), data.file("d/link-to-file").c_str()), 0);
    ASSERT_EQ(::mkfifo(data.file("d/fifo").c_str(), 0600), 0);
    auto outcome = makeJob().run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    // Only the file itself: links met in a walk are not followed, to files or to
    // folders, and a FIFO is not a file.
    EXPECT_EQ(outcome.filesHandled, 1);
}

TEST_F(ScanJobTest, APathLongerThanTheRecordHoldsIsStillTested)
{
    std::string folder = "deep";
    while (data.path().size() + folder.size() < 300)
        folder += "/abcdefghijklmnopqrstuvwxyz0123456789";
    data.mkdir(folder);
    std::string virus = data.write(folder + "/eicar.com", testVirus());
    ASSERT_GT(virus.size(), 255u);
    auto outcome = makeJob(99).run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.infections, 1);
    auto records = report(outcome.reportPath);
    auto found = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.code == RecordCode::InfectionLeft; });
    ASSERT_NE(found, records.end());
    EXPECT_EQ(found->path(), virus); // the real path, not the short name the engine saw
    EXPECT_TRUE(files::exists(virus));
}

TEST_F(ScanJobTest, ProgressShowsTheCurrentFileAndTheCounters)
{
    data.write("x.txt", "clean");
    makeJob().run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(screen.lastStatistics.title, "Statistics");
    EXPECT_EQ(screen.lastStatistics.labels, "Files scanned:\nTotal Infections found:\nLast virus found: \n\nTime");
    EXPECT_FALSE(screen.marker); // off at the end
}

} // namespace vz::scan

#include "platform/window/unix_window_channel.h"
#include "platform/window/window_thread.h"

namespace vz::scan {

using namespace test_support;

TEST_F(ScanJobTest, TheServiceWindowHearsOfEachTargetOverItsSocket)
{
    vz::test::TempDir runtime;
    std::mutex mutex;
    std::vector<ServiceCommand> heard;
    auto endpoint = platform::WindowEndpoint::create(ServiceWindowTitle, runtime.path());
    ASSERT_TRUE(endpoint.ok()) << endpoint.error().text();
    auto thread = platform::WindowThread::start(std::move(*endpoint), [&](const platform::WindowMessage& m) -> std::uint32_t {
        auto c = ServiceCommand::decode(m.data.data(), m.data.size());
        std::lock_guard lock(mutex);
        if (c)
            heard.push_back(*c);
        return 1;
    });
    ASSERT_TRUE(thread.ok());
    platform::UnixWindowChannel channel(runtime.path());
    std::string target = data.mkdir("t");
    ScanJob job(ScanJobContext { appDir(), profile, tester, screen, ui, channel, clock, drives, ProtectedFiles("/usr", {}),
        "Vantrelo Vodazedad", std::nullopt, nullptr, {} });
    job.run(std::vector<std::string> { target }, records::ScanType::Folder, totals);
    thread->reset();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].code, service_command::ScanFolder);
    EXPECT_EQ(heard[0].payload, target);
    EXPECT_EQ(heard[1].code, service_command::ScanFolder);
    EXPECT_EQ(heard[1].payload, "");
}

} // namespace vz::scan
