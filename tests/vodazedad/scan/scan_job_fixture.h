#pragma once

#include "common/records/infection_log.h"
#include "common/records/scan_log.h"
#include "common/records/scan_report.h"
#include "platform/dynlib/dynamic_library.h"
#include "platform/registry/sqlite_registry.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"
#include "vodazedad/scan/engine_file_tester.h"
#include "vodazedad/scan/engine_session.h"
#include "vodazedad/scan/scan_job.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

namespace vz::scan::test_support {

// The 68-byte standard antivirus test file.
inline std::string testVirus()
{
    return std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
}

// The scanning screen as a test sees it.
class RecordingScreen final : public ScanScreen {
public:
    void setScanning(bool on) override { scanningChanges.push_back(on); }
    void setStatusLine(const std::string& text) override
    {
        std::lock_guard lock(mutex);
        statusLines.push_back(text);
    }
    void setTargetsBar(std::uint32_t rangeEnd, std::uint32_t position) override { targetsBar = { rangeEnd, position }; }
    void setFilesBar(std::uint32_t rangeEnd, std::uint32_t position) override { filesBar = { rangeEnd, position }; }
    void showPanels(const ProgressPanel& statistics, const ProgressPanel& activity) override
    {
        lastStatistics = statistics;
        lastActivity = activity;
    }
    void setMarker(std::optional<AnimationMarker> m) override { marker = m; }
    void dispatchMessages() override
    {
        if (onDispatch)
            onDispatch();
    }
    void pause(std::uint32_t ms) override
    {
        pauses.push_back(ms);
        std::this_thread::yield();
    }
    std::optional<std::string> browseForFolder(const std::string& title) override
    {
        browserTitle = title;
        return browserAnswer;
    }
    void openReport(const std::string& path) override { openedReport = path; }
    void showHomeScreen() override { homeShown = true; }

    std::mutex mutex;
    std::vector<bool> scanningChanges;
    std::vector<std::string> statusLines;
    std::pair<std::uint32_t, std::uint32_t> targetsBar, filesBar;
    ProgressPanel lastStatistics, lastActivity;
    std::optional<AnimationMarker> marker;
    std::vector<std::uint32_t> pauses;
    std::function<void()> onDispatch;
    std::optional<std::string> browserAnswer;
    std::string browserTitle;
    std::string openedReport;
    bool homeShown = false;
};

// The service window as a test sees it: the commands it got, or none when absent.
class RecordingWindows final : public WindowChannel {
public:
    std::optional<std::uint32_t> sendCopyData(std::string_view title, const std::vector<std::uint8_t>& data) override
    {
        if (!present)
            return std::nullopt;
        auto c = ServiceCommand::decode(data.data(), data.size());
        received.push_back({ std::string(title), c ? c->code : 0, c ? c->payload : "<bad>" });
        return 1;
    }
    bool postCommand(std::string_view, std::uint32_t) override { return present; }

    struct Received {
        std::string title;
        std::uint32_t code;
        std::string payload;
    };
    bool present = true;
    std::vector<Received> received;
};

// The path a test knows a file by: the engine is handed the open file
// ("/proc/self/fd/<n>"), which names the file's real path.
inline std::string testedPath(const std::string& recordPath)
{
    if (recordPath.rfind("/proc/self/fd/", 0) != 0)
        return recordPath;
    std::string buf(8192, '\0');
    ssize_t n = ::readlink(recordPath.c_str(), buf.data(), buf.size());
    return n > 0 ? buf.substr(0, static_cast<std::size_t>(n)) : recordPath;
}

// Tests with the real engine; a test may make given files answer what it needs.
class SteeredTester final : public FileTester {
public:
    explicit SteeredTester(FileTester& engine) : m_engine(engine) {}
    int testFile(engine::FileTestRecord& record) override
    {
        std::string path = testedPath(record.filePath);
        {
            std::lock_guard lock(mutex);
            tested.push_back(path);
        }
        if (beforeTest)
            beforeTest(path);
        if (namelessDetections.count(path)) {
            record.resultFlags = engine::ResultFlag::Virus;
            record.hasVirusName = 0;
            return record.resultFlags;
        }
        auto it = warnings.find(path);
        if (it != warnings.end()) {
            record.resultFlags = engine::ResultFlag::Warning;
            record.warningCode = it->second;
            return record.resultFlags;
        }
        return m_engine.testFile(record);
    }
    int repairFile(engine::FileTestRecord& record) override { return m_engine.repairFile(record); }
    int testMemory(engine::MemoryTestRecord& record) override { return m_engine.testMemory(record); }

    std::mutex mutex;
    std::vector<std::string> tested;
    std::map<std::string, std::uint32_t> warnings;
    std::set<std::string> namelessDetections; // a virus flag without a name
    std::function<void(const std::string&)> beforeTest;

private:
    FileTester& m_engine;
};

class TickingClock final : public Clock {
public:
    LocalDateTime now() const override { return LocalDateTime { 2026, 12, 11, 14, 5, 30, 5 }; }
    std::uint64_t tickMs() const override { return ticks += 250; }
    mutable std::atomic<std::uint64_t> ticks { 0 };
};

// One engine for all tests of a binary: starting it costs what a program's start does.
inline EngineSession& sharedEngine()
{
    static platform::DynamicLibraryLoader loader;
    static vz::test::RecordingUserInterface ui;
    static EngineSession session(loader, ui, vz::test::builtAppDir());
    static bool started = session.start(ShowMessage::No) == 0;
    EXPECT_TRUE(started) << "the engine of build/appdir did not start";
    return session;
}

class ScanJobTest : public ::testing::Test {
protected:
    ScanJobTest()
    {
        app.mkdir("Reports");
        app.mkdir("Quarantine");
    }

    std::string appDir() const { return app.path() + "/"; }

    ScanJob makeJob(std::optional<int> action = std::nullopt)
    {
        return ScanJob(ScanJobContext { appDir(), profile, tester, screen, ui, windows, clock, drives,
            ProtectedFiles("/usr", {}), "Vantrelo Vodazedad", action, observer, {}, afterTest });
    }

    std::vector<records::ReportRecord> report(const std::string& path)
    {
        auto r = records::readScanReport(path);
        return r ? *r : std::vector<records::ReportRecord> {};
    }

    std::vector<records::ScanLogEntry> scanLog()
    {
        auto r = records::readScanLog(records::RecordLocation(appDir()));
        return r ? *r : std::vector<records::ScanLogEntry> {};
    }

    vz::test::TempDir app;
    vz::test::TempDir data;
    std::unique_ptr<Registry> registry = platform::openRegistry(platform::RegistryLocation::inFolder(app.path()));
    Profile profile { *registry };
    EngineFileTester engineTester { *sharedEngine().engine() };
    SteeredTester tester { engineTester };
    RecordingScreen screen;
    vz::test::RecordingUserInterface ui;
    RecordingWindows windows;
    TickingClock clock;
    ScanObserver* observer = nullptr;
    std::function<void(const std::string&)> afterTest; // between a file's test and its action
    std::vector<Drive> drives;
    ScanStatistics totals;
};

} // namespace vz::scan::test_support
