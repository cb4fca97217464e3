#include "tests/outside/savapi/engine_samples.h"

#include "outside/savapi/definitions_format.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::test::engine {
namespace {

using namespace vz::engine;
using namespace vz::savapi;

// The engine's answers to SAVAPI_Init.
constexpr int DefinitionsBusy = 2;
constexpr int ModuleUnusable = 3;
constexpr int DefinitionsMissing = 4;
constexpr int DefinitionsCorrupt = 5;
constexpr int SettingsInvalid = 6;
constexpr int TemporaryFolderUnusable = 7;

Definitions builtDefinitions()
{
    ParseResult parsed = parseDefinitions(readAll(builtEngine().definitions));
    EXPECT_EQ(parsed.status, ParseStatus::Ok) << parsed.problem;
    return parsed.definitions;
}

TEST(EngineStart, FillsTheEngineInformationFromTheEngineAndItsDefinitions)
{
    auto engine = startEngine(builtEngine());
    ASSERT_TRUE(engine);
    const EngineInfoRecord& record = engine->infoRecord();
    const Definitions definitions = builtDefinitions();

    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(VZ_CLAMAV_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(record.recordSize, sizeof(EngineInfoRecord));
    const EngineInfo info = engine->info();
    EXPECT_EQ(info.major, static_cast<int>(major));
    EXPECT_EQ(info.minor, static_cast<int>(minor));
    EXPECT_EQ(info.build, static_cast<int>(patch));
    EXPECT_EQ(info.definitionsYear, definitions.year);
    EXPECT_EQ(info.definitionsMonth, definitions.month);
    EXPECT_EQ(info.definitionsDay, definitions.day);
    EXPECT_EQ(std::memcmp(record.definitionsVersion, definitions.version, 4), 0);
    // Every signature of the default definitions is loaded, and they are not few.
    EXPECT_EQ(info.knownViruses, definitions.signatures());
    EXPECT_GE(info.knownViruses, 3u);
}

void spoil(const std::string& path, const std::function<void(std::string&)>& change)
{
    std::string bytes = readAll(path);
    change(bytes);
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    TempDir scratch;
    std::filesystem::copy_file(scratch.write("x", bytes), path, std::filesystem::copy_options::overwrite_existing);
}

void rewriteDefinitions(const std::string& path, const std::function<void(Definitions&)>& change)
{
    ParseResult parsed = parseDefinitions(readAll(path));
    ASSERT_EQ(parsed.status, ParseStatus::Ok);
    change(parsed.definitions);
    spoil(path, [&](std::string& bytes) { bytes = serializeDefinitions(parsed.definitions); });
}

// Puts a pipe in the file's place: opening it for reading would wait for a writer.
void replaceWithPipe(const std::string& path)
{
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
}

// Puts a link to an endless device in the file's place.
void replaceWithEndlessDevice(const std::string& path)
{
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/zero", path);
}

// Rewrites the size the definitions header declares, its checksum kept right.
void declareSize(const std::string& path, const std::function<std::uint64_t(std::uint64_t)>& size)
{
    spoil(path, [&](std::string& b) {
        const std::uint64_t declared = size(b.size());
        for (int i = 0; i < 8; ++i)
            b[32 + static_cast<std::size_t>(i)] = static_cast<char>(declared >> (8 * i));
        const std::uint32_t check = crc32(std::string_view(b).substr(0, 44));
        for (int i = 0; i < 4; ++i)
            b[44 + static_cast<std::size_t>(i)] = static_cast<char>(check >> (8 * i));
    });
}

struct StartCase {
    const char* what;
    std::function<void(const EnginePaths&)> spoil;
    int expected;
};

TEST(EngineStart, FailsWithItsReasonWhenAFileIsMissingOrCorrupt)
{
    const StartCase cases[] = {
        { "module missing", [](const EnginePaths& p) { std::filesystem::remove(p.module); }, ModuleUnusable },
        { "module not a library", [](const EnginePaths& p) { spoil(p.module, [](std::string& b) { b = "MZ not a module"; }); }, ModuleUnusable },
        { "module cut short", [](const EnginePaths& p) { spoil(p.module, [](std::string& b) { b.resize(b.size() / 3); }); }, ModuleUnusable },
        { "module without the module table", [](const EnginePaths& p) { std::filesystem::copy_file(p.library, p.module, std::filesystem::copy_options::overwrite_existing); }, ModuleUnusable },
        { "definitions missing", [](const EnginePaths& p) { std::filesystem::remove(p.definitions); }, DefinitionsMissing },
        { "definitions of another kind", [](const EnginePaths& p) { spoil(p.definitions, [](std::string& b) { b = "Vz:0:*:414243\n" + std::string(100, 'x'); }); }, DefinitionsCorrupt },
        { "definitions with a flipped byte", [](const EnginePaths& p) { spoil(p.definitions, [](std::string& b) { b[b.size() - 5] ^= 0x20; }); }, DefinitionsCorrupt },
        { "definitions with a flipped header byte", [](const EnginePaths& p) { spoil(p.definitions, [](std::string& b) { b[17] ^= 1; }); }, DefinitionsCorrupt },
        { "definitions of a newer format", [](const EnginePaths& p) { spoil(p.definitions, [](std::string& b) {
              b[8] = 2;
              const std::uint32_t crc = crc32(std::string_view(b).substr(0, 44));
              for (int i = 0; i < 4; ++i)
                  b[44 + static_cast<std::size_t>(i)] = static_cast<char>(crc >> (8 * i));
          }); }, DefinitionsCorrupt },
        { "a malformed signature line", [](const EnginePaths& p) { rewriteDefinitions(p.definitions, [](Definitions& d) { d.sections[0].data += "Broken-Line:0:*:4g\n"; d.sections[0].signatures += 1; }); }, DefinitionsCorrupt },
        { "a count libclamav does not reach", [](const EnginePaths& p) { rewriteDefinitions(p.definitions, [](Definitions& d) { d.sections[1].signatures += 1; }); }, DefinitionsCorrupt },
        { "definitions half written", [](const EnginePaths& p) { spoil(p.definitions, [](std::string& b) { b.resize(b.size() - 40); }); }, DefinitionsBusy },
        { "definitions just created", [](const EnginePaths& p) { spoil(p.definitions, [](std::string& b) { b.clear(); }); }, DefinitionsBusy },
        { "definitions header half written", [](const EnginePaths& p) { spoil(p.definitions, [](std::string& b) { b.resize(20); }); }, DefinitionsBusy },
        // Each of these once hung the start or read without end.
        { "module a pipe", [](const EnginePaths& p) { replaceWithPipe(p.module); }, ModuleUnusable },
        { "definitions a pipe", [](const EnginePaths& p) { replaceWithPipe(p.definitions); }, DefinitionsMissing },
        { "definitions a link to an endless device", [](const EnginePaths& p) { replaceWithEndlessDevice(p.definitions); }, DefinitionsMissing },
        { "settings a pipe", [](const EnginePaths& p) { replaceWithPipe(p.settings); }, SettingsInvalid },
        { "settings a link to an endless device", [](const EnginePaths& p) { replaceWithEndlessDevice(p.settings); }, SettingsInvalid },
        // A header that declares more than the file holds: being written, or beyond any
        // definitions file when it declares a terabyte.
        { "definitions shorter than their header says", [](const EnginePaths& p) { declareSize(p.definitions, [](std::uint64_t n) { return n + 4096; }); }, DefinitionsBusy },
        { "definitions header declaring a terabyte", [](const EnginePaths& p) { declareSize(p.definitions, [](std::uint64_t) { return 1ull << 40; }); }, DefinitionsCorrupt },
        { "definitions longer than their header says", [](const EnginePaths& p) { declareSize(p.definitions, [](std::uint64_t n) { return n - 1; }); }, DefinitionsCorrupt },
        { "settings the engine cannot use", [](const EnginePaths& p) { TempDir scratch; std::filesystem::copy_file(scratch.write("s", "[Engine]\nMaxFileSize=lots\n"), p.settings); }, SettingsInvalid },
        { "a temporary folder that does not exist", [](const EnginePaths& p) { TempDir scratch; std::filesystem::copy_file(scratch.write("s", "[Engine]\nTempFolder=/nonexistent/vz\n"), p.settings); }, TemporaryFolderUnusable },
    };
    for (const auto& c : cases) {
        TempDir folder;
        const EnginePaths paths = copyEngine(folder);
        c.spoil(paths);
        EXPECT_EQ(startCode(paths), c.expected) << c.what;
    }
}

TEST(EngineStart, WaitsWhileTheDefinitionsAreLockedForReplacing)
{
    TempDir folder;
    const EnginePaths paths = copyEngine(folder);
    const int fd = ::open(paths.definitions.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(startCode(paths), DefinitionsBusy);
    ::close(fd);
    EXPECT_EQ(startCode(paths), 0) << "starts once the writer is done";
}

TEST(EngineStart, StartsWithoutASettingsFileAndWithOneThatSetsLimits)
{
    TempDir folder;
    const EnginePaths paths = copyEngine(folder);
    EXPECT_EQ(startCode(paths), 0);
    TempDir scratch;
    folder.write("QelAv.SCH", "; engine settings\n[Engine]\nTempFolder=" + scratch.path() + "\nMaxFileSize=1000000\nMaxRecursion=5\n[Other]\nIgnored=x\n");
    auto engine = startEngine(paths);
    ASSERT_TRUE(engine);
    // The private temporary folder lies where the settings say, and goes with the engine.
    auto count = [&] { return std::distance(std::filesystem::directory_iterator(scratch.path()), {}); };
    EXPECT_EQ(count(), 1);
    engine.reset();
    EXPECT_EQ(count(), 0);
}

TEST(EngineStart, LoadsDefinitionsOfANewerBuildOfTheSameFormat)
{
    TempDir folder;
    const EnginePaths paths = copyEngine(folder);
    const std::uint32_t known = builtDefinitions().signatures();
    rewriteDefinitions(paths.definitions, [](Definitions& d) {
        d.formatMinor = 7;
        DefinitionsSection future;
        future.type = 42; // a kind of section this engine does not know
        future.name = "future.data";
        future.data = "whatever a newer engine reads";
        future.signatures = 5;
        d.sections.push_back(future);
    });
    // A newer build may also grow the header: the engine reads it by its size field.
    spoil(paths.definitions, [](std::string& b) {
        b.insert(HeaderSize, std::string(16, '\x5a'));
        auto put = [&](std::size_t at, std::uint64_t v, int width) {
            for (int i = 0; i < width; ++i)
                b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
        };
        put(12, HeaderSize + 16, 4);
        put(32, b.size(), 8);
        put(40, crc32(std::string_view(b).substr(HeaderSize)), 4);
        put(44, crc32(std::string_view(b).substr(0, 44)), 4);
    });
    auto engine = startEngine(paths);
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->info().knownViruses, known);
    EXPECT_EQ(test(*engine, testFile("clam.exe"), 0).resultFlags, ResultFlag::Virus);
}

TEST(EngineStart, TwoEnginesRunSideBySideAndStopOnTheirOwn)
{
    auto first = startEngine(builtEngine());
    auto second = startEngine(builtEngine());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(test(*first, testFile("clam.exe"), 0).resultFlags, ResultFlag::Virus);
    first.reset();
    EXPECT_EQ(test(*second, testFile("clam.exe"), 0).resultFlags, ResultFlag::Virus);
}

} // namespace
} // namespace vz::test::engine
