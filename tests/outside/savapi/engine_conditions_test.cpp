#include "tests/outside/savapi/engine_samples.h"

#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <cerrno>
#include <filesystem>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::test::engine {
namespace {

using namespace vz::engine;
namespace fs = std::filesystem;

constexpr std::uint16_t NotOpened = 23;
constexpr std::uint16_t ReadError = 24;
constexpr std::uint16_t TempNotOpened = 26;
constexpr std::uint32_t AccessDenied = 0x1;

void openToEveryone(const std::string& path)
{
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
}

TEST(EngineConditions, ReportsFilesItCannotTestAsErrors)
{
    auto engine = startEngine(builtEngine());
    ASSERT_TRUE(engine);
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::string path;
        std::uint16_t errorCode;
        std::uint16_t detail;
    };
    const Case cases[] = {
        { "missing file", dir.file("missing"), NotOpened, ENOENT },
        { "folder on the way is a file", dir.write("file", "x") + "/below", NotOpened, ENOTDIR },
        { "a folder, which cannot be read as a file", dir.mkdir("folder"), ReadError, EISDIR },
        // A pipe would block the test for ever; only regular files are read.
        { "a pipe", fifo, NotOpened, EINVAL },
    };
    for (const auto& c : cases) {
        const FileTestRecord record = test(*engine, c.path, Option::Service);
        EXPECT_EQ(record.resultFlags, ResultFlag::Error) << c.what;
        EXPECT_EQ(record.errorCode, c.errorCode) << c.what;
        EXPECT_EQ(record.errorDetail, c.detail) << c.what;
        EXPECT_EQ(record.hasVirusName, 0) << c.what;
    }
}

TEST(EngineConditions, RefusesAPathWithoutItsEndInTheRecord)
{
    auto engine = startEngine(builtEngine());
    ASSERT_TRUE(engine);
    FileTestRecord record {};
    std::memset(record.filePath, 'a', sizeof record.filePath);
    EXPECT_EQ(engine->testFile(record), ResultFlag::Error);
    EXPECT_EQ(record.errorCode, NotOpened);
    EXPECT_EQ(record.errorDetail, ENAMETOOLONG);
}

TEST(EngineConditions, WarnsAboutAFileTheUserMayNotRead)
{
    TempDir dir;
    openToEveryone(dir.path());
    const std::string secret = dir.write("secret", standardTestFile());
    ::chmod(secret.c_str(), 0600);
    if (!runningAsRoot())
        ::chmod(secret.c_str(), 0);
    const EnginePaths paths = builtEngine();
    const bool asExpected = runAsUnprivileged([&] {
        platform::DynamicLibraryLoader loader;
        auto engine = ScanEngine::start(loader, paths);
        if (!engine)
            return false;
        auto record = makeFileTestRecord(secret, Option::Service);
        (*engine)->testFile(*record);
        return record->resultFlags == ResultFlag::Warning && record->warningCode == AccessDenied && record->errorCode == 0;
    });
    EXPECT_TRUE(asExpected);
}

// libclamav leaves a file over its size limit untested and, with the limits heuristic,
// alerts without a name: that is a warning, never an infection.
TEST(EngineConditions, AFileOverTheSizeLimitIsNeverAnInfection)
{
    constexpr std::uint32_t LimitsExceeded = 0x10000;
    constexpr off_t OverTheLimit = 150LL << 20; // libclamav's default limit is 100 MB
    auto engine = startEngine(builtEngine());
    ASSERT_TRUE(engine);
    TempDir dir;
    // Sparse: the size without the disk space.
    const std::string clean = dir.write("clean.img", "");
    const std::string marked = dir.write("marked.img", standardTestFile());
    for (const auto& path : { clean, marked })
        ASSERT_EQ(::truncate(path.c_str(), OverTheLimit), 0);
    struct Case {
        const char* what;
        std::uint16_t options;
        std::uint16_t flags;
    };
    const Case cases[] = {
        // Under the high heuristics libclamav reports the file it did not test.
        { "high heuristics", Option::Service | Option::HeuristicsHigh | Option::MacroHeuristics, ResultFlag::Warning },
        { "high heuristics, no archives", Option::HeuristicsHigh, ResultFlag::Warning },
        // Otherwise it passes it over silently.
        { "service options", Option::Service, 0 },
        { "medium heuristics", Option::Service | Option::HeuristicsMedium, 0 },
    };
    for (const auto& c : cases) {
        for (const auto& path : { clean, marked }) {
            const FileTestRecord record = test(*engine, path, c.options);
            EXPECT_EQ(record.resultFlags, c.flags) << c.what << " " << path;
            EXPECT_EQ(record.warningCode, c.flags ? LimitsExceeded : 0u) << c.what << " " << path;
            EXPECT_EQ(record.hasVirusName, 0) << c.what << " " << path;
            EXPECT_EQ(record.errorCode, 0) << c.what << " " << path;
        }
    }
    // The same content within the limit is still found.
    ASSERT_EQ(::truncate(marked.c_str(), 1 << 20), 0);
    EXPECT_EQ(test(*engine, marked, Option::Service | Option::HeuristicsHigh).resultFlags, ResultFlag::Virus);
}

// libclamav answers "clean" when it has no temporary folder and only logs why.
TEST(EngineConditions, TurnsAScanWithoutItsTemporaryFolderIntoAnErrorNotClean)
{
    TempDir folder;
    const EnginePaths paths = copyEngine(folder);
    TempDir temporary;
    folder.write("QelAv.SCH", "[Engine]\nTempFolder=" + temporary.path() + "\n");
    auto engine = startEngine(paths);
    ASSERT_TRUE(engine);
    ASSERT_EQ(test(*engine, testFile("clam.zip"), Option::Service).resultFlags, ResultFlag::Virus);

    // Someone clears the temporary files under the running engine.
    for (const auto& entry : fs::directory_iterator(temporary.path()))
        fs::remove_all(entry.path());

    // Whatever libclamav has to say goes to the result, never to the terminal.
    TempDir output;
    const std::string captured = output.file("stderr");
    std::fflush(stderr);
    const int saved = ::dup(2);
    ASSERT_GE(saved, 0);
    FILE* sink = std::fopen(captured.c_str(), "w");
    ASSERT_TRUE(sink);
    ::dup2(::fileno(sink), 2);
    const FileTestRecord archive = test(*engine, testFile("clam.zip"), Option::Service);
    const FileTestRecord plain = test(*engine, testFile("clam.exe"), Option::Service);
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::fclose(sink);

    for (const auto* record : { &archive, &plain }) {
        EXPECT_EQ(record->resultFlags, ResultFlag::Error);
        EXPECT_EQ(record->errorCode, TempNotOpened);
        EXPECT_EQ(record->errorDetail, ENOENT);
    }
    EXPECT_EQ(readAll(captured), "");
}

} // namespace
} // namespace vz::test::engine
