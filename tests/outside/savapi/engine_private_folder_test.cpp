#include "tests/outside/savapi/engine_samples.h"

#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::test::engine {
namespace {

using namespace vz::engine;
namespace fs = std::filesystem;

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Starts an engine in a child process and kills it (SIGKILL) once it runs, so that
// its private folder stays behind; false when the child's engine did not start.
bool startAndKillAnEngine(const EnginePaths& paths)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::close(ready[0]);
        platform::DynamicLibraryLoader loader;
        auto engine = ScanEngine::start(loader, paths);
        const char answer = engine ? '1' : '0';
        if (::write(ready[1], &answer, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = '0';
    const bool started = ::read(ready[0], &answer, 1) == 1 && answer == '1';
    ::close(ready[0]);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return started;
}

TEST(EnginePrivateFolder, AFolderLeftByAKilledEngineGoesAtTheNextStartAndALiveOneStays)
{
    TempDir folder;
    const EnginePaths paths = copyEngine(folder);
    TempDir temporary;
    folder.write("QelAv.SCH", "[Engine]\nTempFolder=" + temporary.path() + "\n");

    auto live = startEngine(paths);
    ASSERT_TRUE(live);
    const std::set<std::string> liveFolders = namesIn(temporary.path());
    ASSERT_EQ(liveFolders.size(), 1u);

    // What the next start must leave alone, stale or not.
    TempDir elsewhere;
    elsewhere.write("lock", ""); // an unlocked lock file behind a link
    const std::set<std::string> foreign = {
        fs::path(temporary.write("vz-engine-NoLock/data", "no lock file: not provably stale")).parent_path().filename().string(),
        fs::path(temporary.write("vz-engine-toolong/lock", "")).parent_path().filename().string(),
        fs::path(temporary.write("vz-other-AbCdEf/lock", "")).parent_path().filename().string(),
        "vz-engine-Linked",
    };
    fs::create_directory_symlink(elsewhere.path(), temporary.file("vz-engine-Linked"));
    if (runningAsRoot()) {
        // Another user's engine folder, its lock free.
        const std::string other = temporary.write("vz-engine-Others/lock", "");
        ASSERT_EQ(::chown(fs::path(other).parent_path().c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(other.c_str(), 65534, 65534), 0);
    }

    ASSERT_TRUE(startAndKillAnEngine(paths));
    std::set<std::string> left = namesIn(temporary.path());
    std::set<std::string> killed;
    for (const auto& name : left) {
        if (!liveFolders.count(name) && !foreign.count(name) && name != "vz-engine-Others")
            killed.insert(name);
    }
    ASSERT_EQ(killed.size(), 1u) << "the killed engine leaves its folder";

    auto next = startEngine(paths);
    ASSERT_TRUE(next);
    const std::set<std::string> after = namesIn(temporary.path());
    for (const auto& name : killed)
        EXPECT_EQ(after.count(name), 0u) << name;
    for (const auto& name : liveFolders)
        EXPECT_EQ(after.count(name), 1u) << "a live engine's folder stays: " << name;
    for (const auto& name : foreign)
        EXPECT_EQ(after.count(name), 1u) << name;
    EXPECT_EQ(after.count("vz-engine-Others"), runningAsRoot() ? 1u : 0u);
    EXPECT_EQ(after.size(), liveFolders.size() + foreign.size() + (runningAsRoot() ? 1 : 0) + 1) << "and the new engine's own";
    EXPECT_TRUE(fs::exists(elsewhere.file("lock"))) << "nothing is removed through a link";
    EXPECT_TRUE(fs::exists(temporary.file("vz-engine-NoLock/data")));

    // Both engines still work, and each takes only its own folder when it stops.
    EXPECT_EQ(test(*live, testFile("clam.zip"), Option::Service).resultFlags, ResultFlag::Virus);
    EXPECT_EQ(test(*next, testFile("clam.zip"), Option::Service).resultFlags, ResultFlag::Virus);
    live.reset();
    next.reset();
    EXPECT_EQ(namesIn(temporary.path()).size(), foreign.size() + (runningAsRoot() ? 1 : 0));
}

} // namespace
} // namespace vz::test::engine
