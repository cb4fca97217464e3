// Measures what the scan job costs beyond its two unavoidable parts: the walk of the
// tree and one engine test per file. Prints the three times and the ratio
//   job / (walk + tests)
// which the job's counting pass, records and progress must keep under 1.10.
//
//   scan_overhead INSTALLATION_FOLDER TREE [ROUNDS]
#include "common/date_time.h"
#include "common/engine/engine_records.h"
#include "common/files.h"
#include "common/folder.h"
#include "platform/dynlib/dynamic_library.h"
#include "platform/registry/sqlite_registry.h"
#include "vodazedad/scan/engine_file_tester.h"
#include "vodazedad/scan/engine_session.h"
#include "vodazedad/scan/folder_walker.h"
#include "vodazedad/scan/scan_job.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

using namespace vz;

namespace {

class QuietScreen final : public scan::ScanScreen {
public:
    explicit QuietScreen(const scan::ScanJobState*& state) : m_state(state) {}
    void setScanning(bool) override { }
    void setStatusLine(const std::string&) override { }
    void setTargetsBar(std::uint32_t, std::uint32_t) override { }
    void setFilesBar(std::uint32_t, std::uint32_t) override { }
    void showPanels(const scan::ProgressPanel&, const scan::ProgressPanel&) override { }
    void setMarker(std::optional<scan::AnimationMarker>) override { }
    void dispatchMessages() override { }
    // As the command-line scanner does: the pause ends once the worker is done.
    void pause(std::uint32_t ms) override
    {
        for (std::uint32_t waited = 0; waited < ms && m_state && m_state->activeWorkers.load() > 0; waited += 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::optional<std::string> browseForFolder(const std::string&) override { return std::nullopt; }
    void openReport(const std::string&) override { }
    void showHomeScreen() override { }

private:
    const scan::ScanJobState*& m_state;
};

class SilentUi final : public UserInterface {
public:
    MessageAnswer messageBox(std::string_view, std::string_view, MessageIcon, MessageButtons) override { return MessageAnswer::Ok; }
};

class NoWindows final : public WindowChannel {
public:
    std::optional<std::uint32_t> sendCopyData(std::string_view, const std::vector<std::uint8_t>&) override { return std::nullopt; }
    bool postCommand(std::string_view, std::uint32_t) override { return false; }
};

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s INSTALLATION_FOLDER TREE [ROUNDS]\n", argv[0]);
        return 2;
    }
    std::string app = argv[1];
    if (app.back() != '/')
        app += '/';
    std::string tree = argv[2];
    int rounds = argc > 3 ? std::atoi(argv[3]) : 3;

    SilentUi ui;
    platform::DynamicLibraryLoader loader;
    // A fresh engine for each measurement: the engine remembers content it found clean,
    // and one measurement must not warm the next.
    auto freshEngine = [&]() {
        auto session = std::make_unique<scan::EngineSession>(loader, ui, app);
        if (session->start(scan::ShowMessage::No) != 0) {
            std::fprintf(stderr, "the engine of %s did not start\n", app.c_str());
            std::exit(2);
        }
        return session;
    };
    auto registry = platform::openRegistry(platform::RegistryLocation::fromEnvironment());
    Profile profile(*registry);
    auto options = scan::jobOptions(profile);

    double bestWalk = 1e9, bestTests = 1e9, bestJob = 1e9;
    long files = 0;
    for (int round = 0; round < rounds; ++round) {
        // The walk alone, gathering the files.
        std::atomic<bool> abort { false };
        std::vector<std::string> list;
        auto t0 = std::chrono::steady_clock::now();
        auto treeFolder = files::Folder::open(tree);
        if (!treeFolder) {
            std::fprintf(stderr, "%s\n", treeFolder.error().text().c_str());
            return 2;
        }
        scan::FolderWalker(abort, std::nullopt).walk(std::make_shared<const files::Folder>(std::move(*treeFolder)), tree,
            [&](const std::shared_ptr<const files::Folder>&, const std::string&, const std::string& p) { list.push_back(p); },
            [](const std::string&, const Error&) {});
        bestWalk = std::min(bestWalk, seconds(t0));
        files = static_cast<long>(list.size());

        // One engine test per file.
        auto testSession = freshEngine();
        scan::EngineFileTester tester(*testSession->engine());
        t0 = std::chrono::steady_clock::now();
        for (const auto& p : list) {
            auto record = engine::makeFileTestRecord(p, options.options, options.tempFileName);
            if (record)
                tester.testFile(*record);
        }
        bestTests = std::min(bestTests, seconds(t0));

        // The whole job, with its records in a scratch installation folder.
        std::string scratch = "/tmp/vz-bench-app-" + std::to_string(::getpid());
        ignoreError(files::makeFolder(scratch), "left from an earlier round");
        ignoreError(files::makeFolder(scratch + "/Reports"), "left from an earlier round");
        ignoreError(files::makeFolder(scratch + "/Quarantine"), "left from an earlier round");
        auto jobSession = freshEngine();
        scan::EngineFileTester jobTester(*jobSession->engine());
        const scan::ScanJobState* state = nullptr;
        QuietScreen screen(state);
        NoWindows windows;
        SystemClock clock;
        scan::ScanJob job(scan::ScanJobContext { scratch + "/", profile, jobTester, screen, ui, windows, clock, {},
            scan::ProtectedFiles("/usr", {}), "bench", 3, nullptr, {} });
        state = &job.state();
        ScanStatistics totals;
        t0 = std::chrono::steady_clock::now();
        job.run(std::vector<std::string> { tree }, 6, totals);
        bestJob = std::min(bestJob, seconds(t0));
        std::system(("rm -rf '" + scratch + "'").c_str());
    }
    std::printf("files %ld\nwalk %.3f s\nengine tests %.3f s\nscan job %.3f s\nratio job/(walk+tests) %.3f\n", files, bestWalk,
        bestTests, bestJob, bestJob / (bestWalk + bestTests));
    return 0;
}
