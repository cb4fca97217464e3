// A scan acts only on what it tested, inside its target, and hides nothing: folders
// and files swapped for links while it runs, links met in the walk, trees deeper than
// any path, entries that vanish, and detections without a name.
#include "tests/vodazedad/scan/scan_job_fixture.h"

#include "common/files.h"
#include "common/records/quarantine_index.h"
#include "common/settings/settings_names.h"
#include "vodazedad/scan/infection_handler.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::scan {

using namespace test_support;
using records::RecordCode;

namespace {

// The appended test block the engine can strip from its host.
std::string repairableHost()
{
    return std::string("This is a harmless host file.\n") + "<<VZ-REPAIRABLE-" + "TEST-BLOCK>>\n"
        + "This harmless block stands in for an appending virus.\n" + "<<VZ-REPAIRABLE-" + "TEST-BLOCK-END>>\n";
}

struct ActionCase {
    const char* name;
    int action;
    bool repairable; // the infected files carry the repairable block instead of the test file
};

const ActionCase Actions[] = {
    { "delete", InfectionAction::Delete, false },
    { "quarantine", InfectionAction::Quarantine, false },
    { "clean", InfectionAction::Clean, true },
};

int countOf(const std::vector<records::ReportRecord>& records, RecordCode code)
{
    return static_cast<int>(std::count_if(records.begin(), records.end(), [&](const auto& r) { return r.code == code; }));
}

unsigned modeOf(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Removes a tree of any depth through descriptors (paths may be longer than the
// system takes).
void removeTree(int parent, const char* name)
{
    int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlinkat(parent, name, 0);
        return;
    }
    DIR* dir = ::fdopendir(fd);
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    for (const auto& n : names)
        removeTree(::dirfd(dir), n.c_str());
    ::closedir(dir);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

class RecordingObserver final : public ScanObserver {
public:
    void fileHandled(const FileFinding& f) override
    {
        std::lock_guard lock(mutex);
        findings.push_back(f);
    }
    void recordNotWritten(const Error& e) override
    {
        std::lock_guard lock(mutex);
        failures.push_back(e);
    }
    std::mutex mutex;
    std::vector<FileFinding> findings;
    std::vector<Error> failures;
};

} // namespace

class ScanSafetyTest : public ScanJobTest {
protected:
    // Files of another folder that a scan must never touch: copies of what the
    // scanned tree holds, so that acting on one would show.
    std::vector<std::string> victims(const std::string& content, int n)
    {
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i) {
            out.push_back(elsewhere.write("v" + std::to_string(i), content));
            ::chmod(out.back().c_str(), 0644);
        }
        return out;
    }
    void expectUntouched(const std::vector<std::string>& paths, const std::string& content)
    {
        for (const auto& p : paths) {
            EXPECT_EQ(vz::test::readAll(p), content) << p;
            EXPECT_EQ(modeOf(p), 0644u) << p;
        }
    }

    vz::test::TempDir elsewhere;
};

TEST_F(ScanSafetyTest, AFolderSwappedForALinkLeadsNoActionOutOfTheTarget)
{
    // One test thread, so that the swap comes before the walk reaches the folder.
    ASSERT_TRUE(profile.writeInt(settings::Options, settings::ScanThreads, 1).ok());
    enum class When { BeforeItIsEntered, WhileItIsWalked };
    for (const auto& action : Actions) {
        for (When when : { When::BeforeItIsEntered, When::WhileItIsWalked }) {
            SCOPED_TRACE(std::string(action.name) + (when == When::BeforeItIsEntered ? ", before" : ", while"));
            vz::test::TempDir tree;
            vz::test::TempDir victimFolder;
            const std::string content = action.repairable ? repairableHost() : testVirus();
            tree.write("first.com", content); // handled before the sub-folder is entered
            std::vector<std::string> victimsHere;
            for (int i = 0; i < 20; ++i) {
                tree.write("sub/v" + std::to_string(i), content);
                victimsHere.push_back(victimFolder.write("v" + std::to_string(i), content));
                ::chmod(victimsHere.back().c_str(), 0644);
            }
            bool swapped = false;
            afterTest = [&](const std::string& path) {
                bool inSub = path.find("/sub/") != std::string::npos;
                if (swapped || (when == When::WhileItIsWalked) != inSub)
                    return;
                swapped = true;
                ASSERT_EQ(::rename(tree.file("sub").c_str(), tree.file("sub.moved").c_str()), 0);
                ASSERT_EQ(::symlink(victimFolder.path().c_str(), tree.file("sub").c_str()), 0);
            };
            auto outcome = makeJob(action.action).run(std::vector<std::string> { tree.path() }, records::ScanType::Folder, totals);
            ASSERT_TRUE(swapped);
            expectUntouched(victimsHere, content);
            if (when == When::BeforeItIsEntered) {
                // The link is not entered, and the folder that is not walked is said.
                EXPECT_EQ(outcome.infections, 1);
                EXPECT_EQ(outcome.warnings, 1);
                auto records = report(outcome.reportPath);
                EXPECT_EQ(countOf(records, RecordCode::Problem), 1);
            } else {
                // The walk stays in the folder it opened, wherever that now is.
                EXPECT_EQ(outcome.infections, 21);
                EXPECT_EQ(outcome.warnings, 0);
            }
            ::unlink(tree.file("sub").c_str());
            ::unlink(outcome.reportPath.c_str()); // the next case starts its own report
        }
    }
}

TEST_F(ScanSafetyTest, AFileSwappedAfterItsTestIsNotActedOn)
{
    enum class SwapFor { LinkToAVictim, AnotherFile };
    for (const auto& action : Actions) {
        for (SwapFor swap : { SwapFor::LinkToAVictim, SwapFor::AnotherFile }) {
            SCOPED_TRACE(std::string(action.name) + (swap == SwapFor::LinkToAVictim ? ", link" : ", other file"));
            vz::test::TempDir tree;
            vz::test::TempDir victimFolder;
            const std::string content = action.repairable ? repairableHost() : testVirus();
            std::string tested = tree.write("x.com", content);
            std::string victim = victimFolder.write("precious", content);
            ::chmod(victim.c_str(), 0644);
            afterTest = [&](const std::string& path) {
                if (path != tested)
                    return;
                ASSERT_EQ(::rename(tested.c_str(), tree.file("x.moved").c_str()), 0);
                if (swap == SwapFor::LinkToAVictim)
                    ASSERT_EQ(::symlink(victim.c_str(), tested.c_str()), 0);
                else
                    tree.write("x.com", "an innocent file put in its place");
            };
            auto outcome = makeJob(action.action).run(std::vector<std::string> { tree.path() }, records::ScanType::Folder, totals);
            EXPECT_EQ(outcome.infections, 1);
            expectUntouched({ victim }, content);
            // Whatever took the name stays as it is.
            if (swap == SwapFor::LinkToAVictim)
                EXPECT_TRUE(files::status(tested, files::FollowLinks::No)->kind == files::FileKind::Symlink);
            else
                EXPECT_EQ(vz::test::readAll(tested), "an innocent file put in its place");
            EXPECT_TRUE(files::listDirectory(app.file("Quarantine"))->empty());

            auto records = report(outcome.reportPath);
            if (action.repairable) {
                // The repair works on the tested file through its descriptor.
                EXPECT_EQ(countOf(records, RecordCode::Cleaned), 1);
                EXPECT_EQ(vz::test::readAll(tree.file("x.moved")), "This is a harmless host file.\n");
                EXPECT_EQ(outcome.warnings, 0);
            } else {
                EXPECT_EQ(countOf(records, RecordCode::InfectionLeft), 1);
                EXPECT_EQ(countOf(records, RecordCode::Problem), 1);
                EXPECT_EQ(outcome.warnings, 1);
                EXPECT_EQ(vz::test::readAll(tree.file("x.moved")), content); // left as found
            }
            ::unlink(outcome.reportPath.c_str()); // the next case starts its own report
        }
    }
}

TEST_F(ScanSafetyTest, LinksInAWalkAreNotFollowedButANamedLinkIs)
{
    std::string evil = elsewhere.write("evil.com", testVirus());
    std::string link = data.file("link.com");
    ASSERT_EQ(::symlink(evil.c_str(), link.c_str()), 0);
    data.write("clean.txt", "clean");

    auto walked = makeJob(InfectionAction::Delete).run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(walked.filesHandled, 1);
    EXPECT_EQ(walked.infections, 0);
    EXPECT_EQ(vz::test::readAll(evil), testVirus());
    EXPECT_TRUE(files::status(link, files::FollowLinks::No)->kind == files::FileKind::Symlink);

    // Named by the user, the link leads to its file, which is what is recorded and moved.
    auto named = makeJob(InfectionAction::Quarantine).run(std::vector<std::string> { link }, records::ScanType::Folder, totals);
    EXPECT_EQ(named.infections, 1);
    EXPECT_FALSE(files::exists(evil));
    EXPECT_EQ(vz::test::readAll(app.file("Quarantine/AV0.QRT")), testVirus());
    auto index = records::readQuarantineIndex(records::RecordLocation(appDir()));
    ASSERT_TRUE(index.ok());
    ASSERT_EQ(index->size(), 1u);
    EXPECT_EQ((*index)[0].formerPath, evil);
}

TEST_F(ScanSafetyTest, ATreeDeeperThanAnyPathIsScannedToTheBottom)
{
    // 2100 folders of one letter: the path of the bottom file is over 4200 bytes.
    constexpr int Depth = 2100;
    data.write("top.txt", "clean");
    int fd = ::open(data.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < Depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    int file = ::openat(fd, "eicar.com", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    std::string virus = testVirus();
    ASSERT_EQ(::write(file, virus.data(), virus.size()), static_cast<ssize_t>(virus.size()));
    ::close(file);
    ::close(fd);

    auto outcome = makeJob(3).run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.filesHandled, 2);
    EXPECT_EQ(outcome.infections, 1);
    EXPECT_EQ(outcome.warnings, 0);
    auto records = report(outcome.reportPath);
    auto found = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.code == RecordCode::InfectionLeft; });
    ASSERT_NE(found, records.end());
    EXPECT_GT(found->path().size(), 4096u);
    EXPECT_EQ(found->path().size(), data.path().size() + 2 * Depth + std::string("/eicar.com").size());

    int root = ::open(data.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    removeTree(root, "d");
    ::close(root);
}

TEST_F(ScanSafetyTest, WhatVanishesBeforeItsTestIsReportedNeverPassedAsClean)
{
    // One test thread, so that nothing is opened ahead of the file being handled.
    ASSERT_TRUE(profile.writeInt(settings::Options, settings::ScanThreads, 1).ok());
    data.write("a", "clean");
    data.write("b", "clean");
    data.mkdir("sub");
    std::string gone;
    afterTest = [&](const std::string& path) {
        if (!gone.empty())
            return;
        // The other file and the sub-folder were listed but not yet reached.
        gone = path == data.file("a") ? data.file("b") : data.file("a");
        ASSERT_EQ(::unlink(gone.c_str()), 0);
        ASSERT_EQ(::rmdir(data.file("sub").c_str()), 0);
    };
    RecordingObserver seen;
    observer = &seen;
    auto outcome = makeJob(3).run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.filesHandled, 2);
    EXPECT_EQ(outcome.warnings, 2);
    auto records = report(outcome.reportPath);
    std::vector<std::string> problems;
    for (const auto& r : records) {
        if (r.code == RecordCode::Problem)
            problems.push_back(r.path());
    }
    EXPECT_EQ(problems, (std::vector<std::string> { gone, data.file("sub") }));
    ASSERT_EQ(seen.findings.size(), 3u);
    EXPECT_EQ(seen.findings[0].kind, FileFinding::Kind::Clean);
    EXPECT_EQ(seen.findings[1].kind, FileFinding::Kind::Problem);
    EXPECT_EQ(seen.findings[1].path, gone);

    // A target that is not there is said too.
    auto missing = makeJob(3).run(std::vector<std::string> { data.file("no-such-folder") }, records::ScanType::Folder, totals);
    EXPECT_EQ(missing.warnings, 1);
}

TEST_F(ScanSafetyTest, ADetectionWithoutANameIsAnErrorAndNothingIsDone)
{
    std::string file = data.write("big.bin", "content the engine could not judge");
    tester.namelessDetections.insert(file);
    auto outcome = makeJob(InfectionAction::Delete).run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.infections, 0);
    EXPECT_EQ(outcome.warnings, 1);
    EXPECT_TRUE(files::exists(file));
    EXPECT_EQ(countOf(report(outcome.reportPath), RecordCode::Problem), 1);
}

TEST_F(ScanSafetyTest, RecordsThatCannotBeWrittenAreCountedAndTold)
{
    data.write("eicar.com", testVirus());
    ASSERT_EQ(::rmdir(app.file("Reports").c_str()), 0);
    RecordingObserver seen;
    observer = &seen;
    auto outcome = makeJob(3).run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.infections, 1); // the scan goes on
    EXPECT_GT(outcome.recordFailures, 0);
    ASSERT_TRUE(outcome.firstRecordFailure.has_value());
    EXPECT_EQ(outcome.firstRecordFailure->code, ENOENT);
    EXPECT_EQ(static_cast<long>(seen.failures.size()), outcome.recordFailures);
    ASSERT_EQ(seen.findings.size(), 1u);
    EXPECT_EQ(seen.findings[0].kind, FileFinding::Kind::Infection);
}

} // namespace vz::scan

namespace vz::scan {

TEST_F(ScanJobTest, TwoScansStartedInOneSecondKeepTheirReportsApart)
{
    data.write("a/eicar.com", testVirus());
    data.write("b/clean.txt", "clean");
    // The clock of this fixture stands still: both jobs start in the same second.
    auto first = makeJob(3).run(std::vector<std::string> { data.file("a") }, records::ScanType::Folder, totals);
    auto second = makeJob(3).run(std::vector<std::string> { data.file("b") }, records::ScanType::Folder, totals);
    ASSERT_NE(first.reportPath, second.reportPath);
    auto infectionsIn = [&](const std::string& path) {
        auto r = report(path);
        return std::count_if(r.begin(), r.end(), [](const auto& rec) { return rec.code == records::RecordCode::InfectionLeft; });
    };
    EXPECT_EQ(infectionsIn(first.reportPath), 1);
    EXPECT_EQ(infectionsIn(second.reportPath), 0);
    auto log = scanLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].reportPath, first.reportPath);
    EXPECT_EQ(log[1].reportPath, second.reportPath);
}

} // namespace vz::scan

namespace vz::scan {

TEST_F(ScanJobTest, ACleanFileOverTheEnginesSizeLimitIsAWarningNeverAnInfection)
{
    // The settings as every program stores them when missing (quarantine, heuristics).
    ASSERT_TRUE(profile.writeInt(settings::Options, settings::Level, settings::DefaultLevel).ok());
    ASSERT_TRUE(profile.writeInt(settings::Options, settings::HeuristicLevel, settings::DefaultHeuristicLevel).ok());
    // 150 MB that take no disk space.
    std::string big = data.write("big.img", "clean start");
    ASSERT_EQ(::truncate(big.c_str(), 150LL * 1024 * 1024), 0);
    auto outcome = makeJob().run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
    EXPECT_EQ(outcome.infections, 0);
    EXPECT_EQ(outcome.warnings, 1);
    EXPECT_TRUE(files::exists(big)); // neither quarantined nor deleted
    EXPECT_TRUE(files::listDirectory(app.file("Quarantine"))->empty());
    auto records = report(outcome.reportPath);
    auto problem = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.code == RecordCode::Problem; });
    ASSERT_NE(problem, records.end());
    EXPECT_EQ(problem->path(), big);
}

} // namespace vz::scan
