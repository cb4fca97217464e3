#include "tests/outside/savapi/engine_samples.h"

#include "outside/savapi/ave_module.h"
#include "outside/savapi/definitions_format.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vz::test::engine {
namespace {

using namespace vz::engine;

constexpr std::uint16_t Archives = 0x8;
constexpr std::uint16_t ArchivesAndRepair = 0x9;

std::uint32_t entryCount(const std::string& cache)
{
    const std::string bytes = readAll(cache);
    if (bytes.size() < 16)
        return 0;
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[12])) | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[13])) << 8
        | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[14])) << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[15])) << 24;
}

// A copy of the engine in a folder of its own, with its verdicts in VERDICTS.DAT
// there, and clean files old enough for their verdicts to be kept.
class EngineVerdictCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_paths = copyEngine(m_folder);
        m_files = m_folder.mkdir("files");
        for (int i = 0; i < 8; ++i)
            m_clean.push_back(m_folder.write("files/clean" + std::to_string(i) + ".bin", cleanHost() + std::to_string(i)));
        m_zip = m_folder.file("files/clam.zip");
        m_folder.write("files/clam.zip", readAll(testFile("clam.zip")));
        // Files written just now may be written again without their times moving:
        // the engine keeps no verdict for them yet.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }

    std::unique_ptr<ScanEngine> start() { return startEngine(m_paths); }

    AveCounters counters() const
    {
        AveCounters c {};
        // The module of this copy, loaded by the engine library and never unloaded.
        void* module = ::dlopen(m_paths.module.c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_NE(module, nullptr) << "the module is loaded";
        if (!module)
            return c;
        const auto get = reinterpret_cast<AveGetCountersFn>(::dlsym(module, "AVE_GetCounters"));
        EXPECT_NE(get, nullptr);
        if (get)
            get(&c);
        ::dlclose(module);
        return c;
    }

    // Tests path and answers whether libclamav was asked (not the cache).
    bool testedByLibrary(const ScanEngine& engine, const std::string& path, std::uint16_t options, std::uint16_t expectedFlags)
    {
        const AveCounters before = counters();
        const FileTestRecord record = test(engine, path, options);
        EXPECT_EQ(record.resultFlags, expectedFlags) << path << " options " << options;
        const AveCounters after = counters();
        EXPECT_EQ(after.filesScanned - before.filesScanned + after.cachedVerdicts - before.cachedVerdicts, 1u) << path;
        return after.filesScanned != before.filesScanned;
    }

    std::string cacheFile() const { return m_folder.file("VERDICTS.DAT"); }

    TempDir m_folder;
    EnginePaths m_paths;
    std::string m_files;
    std::vector<std::string> m_clean;
    std::string m_zip;
};

TEST_F(EngineVerdictCache, OneEngineServesEveryOptionSetWithTheRightResults)
{
    m_folder.write("QelAv.SCH", "[Engine]\nVerdictCache=0\n");
    auto engine = start();
    ASSERT_TRUE(engine);
    const AveCounters started = counters();
    // Archives on and off, in both orders, with heuristics and repair among them.
    const struct {
        std::uint16_t options;
        std::uint16_t flags;
    } cases[] = { { 0, 0 }, { Archives, ResultFlag::Virus }, { 0, 0 }, { ArchivesAndRepair, ResultFlag::Virus }, { 0x1000, 0 },
        { 0x2000 | Archives, ResultFlag::Virus }, { 0x4000, 0 }, { 0x8000 | Archives, ResultFlag::Virus }, { 0x1, 0 } };
    for (const auto& c : cases)
        EXPECT_EQ(test(*engine, m_zip, c.options).resultFlags, c.flags) << "options " << c.options;
    const AveCounters after = counters();
    EXPECT_EQ(after.enginesCompiled, started.enginesCompiled) << "every option set uses the engine compiled at the start";
    EXPECT_EQ(after.filesScanned - started.filesScanned, std::size(cases)) << "without the verdict cache every test reaches libclamav";
}

TEST_F(EngineVerdictCache, AnUnchangedCleanFileIsAnsweredFromTheCacheInThisRunAndTheNext)
{
    {
        auto engine = start();
        ASSERT_TRUE(engine);
        EXPECT_TRUE(testedByLibrary(*engine, m_clean[0], ArchivesAndRepair, 0));
        EXPECT_FALSE(testedByLibrary(*engine, m_clean[0], ArchivesAndRepair, 0));
        // Repair allowed or not, the test finds the same.
        EXPECT_FALSE(testedByLibrary(*engine, m_clean[0], Archives, 0));
        // A detection is never kept.
        const std::string infected = m_folder.write("files/infected.com", standardTestFile());
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_TRUE(testedByLibrary(*engine, infected, Archives, ResultFlag::Virus));
        EXPECT_TRUE(testedByLibrary(*engine, infected, Archives, ResultFlag::Virus));
        engine.reset();
    }
    struct stat st {};
    ASSERT_EQ(::lstat(cacheFile().c_str(), &st), 0) << "saved when the engine stops";
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(entryCount(cacheFile()), 1u);

    auto engine = start();
    ASSERT_TRUE(engine);
    EXPECT_FALSE(testedByLibrary(*engine, m_clean[0], ArchivesAndRepair, 0)) << "the next run benefits";
    // A path through the descriptor the scan job passes has the same identity.
    const int fd = ::open(m_clean[0].c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(testedByLibrary(*engine, "/proc/self/fd/" + std::to_string(fd), ArchivesAndRepair, 0));
    ::close(fd);
}

TEST_F(EngineVerdictCache, AChangeOfContentOptionsOrDefinitionsMeansATestAgain)
{
    const std::string sameSize = m_folder.write("files/same-size.com", std::string(standardTestFile().size(), 'x'));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const struct {
        const char* what;
        std::string path;
        std::uint16_t first;
        std::uint16_t second;
        std::uint16_t secondFlags;
        std::function<void()> change;
        bool restart;
    } cases[] = {
        { "content rewritten in place with the same size and times", sameSize, Archives, Archives, ResultFlag::Virus,
            [&] {
                struct stat st {};
                ASSERT_EQ(::stat(sameSize.c_str(), &st), 0);
                m_folder.write("files/same-size.com", standardTestFile());
                const timespec times[2] = { st.st_atim, st.st_mtim };
                ASSERT_EQ(::utimensat(AT_FDCWD, sameSize.c_str(), times, 0), 0);
            },
            false },
        { "archives turned on", m_zip, 0, Archives, ResultFlag::Virus, [] {}, false },
        { "macro heuristics turned on", m_clean[1], Archives, Archives | 0x1000, 0, [] {}, false },
        { "other definitions", m_clean[2], Archives, Archives, 0,
            [&] {
                vz::savapi::ParseResult parsed = vz::savapi::parseDefinitions(readAll(m_paths.definitions));
                ASSERT_EQ(parsed.status, vz::savapi::ParseStatus::Ok);
                ++parsed.definitions.version[3];
                m_folder.write("ANTIVIR.VDF", vz::savapi::serializeDefinitions(parsed.definitions));
            },
            true },
        { "other limits", m_clean[3], Archives, Archives, 0, [&] { m_folder.write("QelAv.SCH", "[Engine]\nMaxFileSize=1000000\n"); }, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto engine = start();
        ASSERT_TRUE(engine);
        EXPECT_TRUE(testedByLibrary(*engine, c.path, c.first, 0));
        EXPECT_FALSE(testedByLibrary(*engine, c.path, c.first, 0));
        c.change();
        if (c.restart) {
            engine.reset();
            engine = start();
            ASSERT_TRUE(engine);
        }
        EXPECT_TRUE(testedByLibrary(*engine, c.path, c.second, c.secondFlags));
    }
}

TEST_F(EngineVerdictCache, ACorruptCacheFileIsIgnoredAndRebuilt)
{
    {
        auto engine = start();
        ASSERT_TRUE(engine);
        test(*engine, m_clean[0], Archives);
        test(*engine, m_clean[1], Archives);
        engine.reset();
    }
    const std::string good = readAll(cacheFile());
    ASSERT_EQ(good.size(), 40u + 2 * 48u);
    const auto flipped = [&good](std::size_t at) {
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x01);
        return bad;
    };
    std::string moreEntries = good;
    moreEntries[12] = 3; // a count the file does not hold
    const struct {
        const char* what;
        std::string content;
    } cases[] = {
        { "a bit of an entry's inode flipped", flipped(40 + 8) },
        { "a bit of the second entry's change time flipped", flipped(40 + 48 + 32) },
        { "a bit of the magic flipped", flipped(0) },
        { "a bit of the definitions version flipped", flipped(28) },
        { "a bit of the header checksum flipped", flipped(37) },
        { "cut inside an entry", good.substr(0, good.size() - 10) },
        { "cut to its header", good.substr(0, 40) },
        { "cut inside its header", good.substr(0, 20) },
        { "empty", "" },
        { "a count it does not hold", moreEntries },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_folder.write("VERDICTS.DAT", c.content);
        ASSERT_EQ(::chmod(cacheFile().c_str(), 0644), 0);
        {
            auto engine = start();
            ASSERT_TRUE(engine);
            EXPECT_TRUE(testedByLibrary(*engine, m_clean[0], Archives, 0)) << "never trusted";
            engine.reset();
        }
        auto engine = start();
        ASSERT_TRUE(engine);
        EXPECT_FALSE(testedByLibrary(*engine, m_clean[0], Archives, 0)) << "rebuilt";
    }
}

TEST_F(EngineVerdictCache, ACacheFileAnotherUserCouldHaveWrittenIsNeitherUsedNorReplaced)
{
    {
        auto engine = start();
        ASSERT_TRUE(engine);
        test(*engine, m_clean[0], Archives);
        engine.reset();
    }
    const std::string good = readAll(cacheFile());
    ASSERT_EQ(entryCount(cacheFile()), 1u);
    const std::string elsewhere = m_folder.write("elsewhere.dat", good);
    const struct {
        const char* what;
        std::function<bool()> spoil; // false when this user cannot make the case
    } cases[] = {
        { "writable by others", [&] { return ::chmod(cacheFile().c_str(), 0646) == 0; } },
        { "writable by the group", [&] { return ::chmod(cacheFile().c_str(), 0664) == 0; } },
        { "owned by another user", [&] { return ::getuid() == 0 && ::chown(cacheFile().c_str(), 65534, 65534) == 0; } },
        { "a link to a good cache file", [&] { return ::unlink(cacheFile().c_str()) == 0 && ::symlink(elsewhere.c_str(), cacheFile().c_str()) == 0; } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(cacheFile().c_str());
        m_folder.write("VERDICTS.DAT", good);
        ASSERT_EQ(::chmod(cacheFile().c_str(), 0644), 0);
        if (!c.spoil())
            continue;
        struct stat before {};
        ASSERT_EQ(::lstat(cacheFile().c_str(), &before), 0);
        {
            auto engine = start();
            ASSERT_TRUE(engine);
            EXPECT_TRUE(testedByLibrary(*engine, m_clean[0], Archives, 0)) << "not trusted";
            EXPECT_FALSE(testedByLibrary(*engine, m_clean[0], Archives, 0)) << "kept in memory";
            EXPECT_TRUE(testedByLibrary(*engine, m_clean[1], Archives, 0));
            engine.reset();
        }
        struct stat after {};
        ASSERT_EQ(::lstat(cacheFile().c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "left as it was";
        EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
    }
}

TEST_F(EngineVerdictCache, AnotherUsersProgramTrustsTheCacheOfRootAndKeepsItsOwnInMemory)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    {
        auto engine = start();
        ASSERT_TRUE(engine);
        test(*engine, m_clean[0], Archives);
        engine.reset();
    }
    const std::string saved = readAll(cacheFile());
    ASSERT_EQ(entryCount(cacheFile()), 1u);
    const std::string temporary = m_folder.mkdir("tmp");
    ASSERT_EQ(::chmod(temporary.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(m_folder.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(m_files.c_str(), 0755), 0);
    m_folder.write("QelAv.SCH", "[Engine]\nTempFolder=" + temporary + "\n");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        auto engine = start();
        if (!engine)
            ::_exit(11);
        // Root's verdict holds; this user's new ones stay in its memory.
        const int code = testedByLibrary(*engine, m_clean[0], Archives, 0) ? 12
            : !testedByLibrary(*engine, m_clean[1], Archives, 0)          ? 13
            : testedByLibrary(*engine, m_clean[1], Archives, 0)           ? 14
                                                                          : 0;
        engine.reset();
        ::_exit(::testing::Test::HasFailure() ? 15 : code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
    EXPECT_EQ(readAll(cacheFile()), saved) << "the installation's file is root's alone";
}

TEST_F(EngineVerdictCache, KeepsAtMostItsBoundOfTheMostRecentVerdicts)
{
    m_folder.write("QelAv.SCH", "[Engine]\nVerdictCache=4\n");
    {
        auto engine = start();
        ASSERT_TRUE(engine);
        for (std::size_t i = 0; i < m_clean.size(); ++i) {
            test(*engine, m_clean[i], Archives);
            // Ages in whole seconds tell the most recent from the oldest.
            if (i + 1 == m_clean.size() - 1)
                std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        }
        engine.reset();
    }
    EXPECT_LE(entryCount(cacheFile()), 4u);
    EXPECT_GE(entryCount(cacheFile()), 1u);
    auto engine = start();
    ASSERT_TRUE(engine);
    EXPECT_FALSE(testedByLibrary(*engine, m_clean.back(), Archives, 0)) << "the last verdict stays";
}

TEST_F(EngineVerdictCache, TwoProcessesSavingAtOnceLoseNothingAndNeverTearTheFile)
{
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i)
        files.push_back(m_folder.write("files/many" + std::to_string(i) + ".txt", "clean text " + std::to_string(i)));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    constexpr int Rounds = 5;
    const auto child = [&](int which) {
        // Each round is an engine of its own that saves when it stops.
        for (int round = 0; round < Rounds; ++round) {
            platform::DynamicLibraryLoader loader;
            auto engine = ScanEngine::start(loader, m_paths);
            if (!engine.ok())
                ::_exit(2);
            for (std::size_t i = static_cast<std::size_t>(which * 20 + round * 4); i < static_cast<std::size_t>(which * 20 + round * 4 + 4); ++i) {
                auto record = makeFileTestRecord(files[i], Archives, "avscan00.tmp");
                if (!record.ok() || (*engine)->testFile(*record) != 0)
                    ::_exit(3);
            }
            (*engine).reset();
        }
        ::_exit(0);
    };
    pid_t children[2];
    for (int which = 0; which < 2; ++which) {
        children[which] = ::fork();
        ASSERT_GE(children[which], 0);
        if (children[which] == 0)
            child(which);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(entryCount(cacheFile()), files.size());
    auto engine = start();
    ASSERT_TRUE(engine);
    for (const auto& file : files)
        EXPECT_FALSE(testedByLibrary(*engine, file, Archives, 0)) << file;
}

} // namespace
} // namespace vz::test::engine
