#include "common/files.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vz::files {

using test::readAll;
using test::TempDir;

TEST(Files, MoveNeverReplacesAnExistingFile)
{
    TempDir dir;
    auto a = dir.write("a", "first");
    auto b = dir.write("b", "second");
    auto r = moveNoReplace(a, b);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, EEXIST);
    EXPECT_EQ(readAll(a), "first");
    EXPECT_EQ(readAll(b), "second");

    auto c = dir.file("c");
    ASSERT_TRUE(moveNoReplace(a, c).ok());
    EXPECT_FALSE(exists(a));
    EXPECT_EQ(readAll(c), "first");
}

TEST(Files, MoveAcrossFileSystemsKeepsExactlyOneCopy)
{
    TempDir here;
    auto other = status("/dev/shm");
    auto mine = status(here.path());
    if (!other || !mine || other->device == mine->device)
        GTEST_SKIP() << "no second file system to move to";
    std::string target = "/dev/shm/vz-move-test-" + std::to_string(::getpid());
    std::string content(300000, 'x');
    auto src = here.write("big", content);
    ::chmod(src.c_str(), 0640);
    ASSERT_TRUE(moveNoReplace(src, target).ok());
    EXPECT_FALSE(exists(src));
    EXPECT_EQ(readAll(target), content);
    EXPECT_EQ(status(target)->mode, 0640u);

    // Back again onto an existing name: refused, both files stay as they are.
    auto blocker = here.write("big", "other");
    EXPECT_FALSE(moveNoReplace(target, blocker).ok());
    EXPECT_EQ(readAll(target), content);
    EXPECT_EQ(readAll(blocker), "other");
    ASSERT_TRUE(remove(target).ok());
}

TEST(Files, CopyOverwritesOnlyWhenAsked)
{
    TempDir dir;
    auto a = dir.write("a", "new");
    auto b = dir.write("b", "old");
    EXPECT_FALSE(copyFile(a, b, Overwrite::No).ok());
    EXPECT_EQ(readAll(b), "old");
    ASSERT_TRUE(copyFile(a, b, Overwrite::Yes).ok());
    EXPECT_EQ(readAll(b), "new");
    EXPECT_EQ(readAll(a), "new");
    EXPECT_FALSE(copyFile(dir.file("missing"), b, Overwrite::Yes).ok());
    EXPECT_EQ(readAll(b), "new");
}

TEST(Files, LinesAreWrittenWithCrLfAndReadWithoutIt)
{
    TempDir dir;
    auto f = dir.file("log.dat");
    ASSERT_TRUE(appendLines(f, { "one", "two" }).ok());
    ASSERT_TRUE(appendLines(f, { "", "three" }).ok());
    EXPECT_EQ(readAll(f), "one\r\ntwo\r\n\r\nthree\r\n");
    auto lines = readLines(f);
    ASSERT_TRUE(lines.ok());
    EXPECT_EQ(*lines, (std::vector<std::string> { "one", "two", "", "three" }));

    // Only a CR right before the LF is a line end; a lone CR stays, a last line
    // without a line end still counts.
    auto g = dir.write("mixed", "a\rb\r\nc\nlast");
    EXPECT_EQ(*readLines(g), (std::vector<std::string> { "a\rb", "c", "last" }));
}

TEST(Files, AppendNeverCreatesAFolder)
{
    TempDir dir;
    EXPECT_FALSE(appendLines(dir.file("Reports/index.dat"), { "x" }).ok());
    EXPECT_FALSE(exists(dir.file("Reports")));
}

TEST(Files, AppendAfterACutLastLineStartsOnALineOfItsOwn)
{
    struct Case {
        const char* before;
        const char* after;
    } cases[] = {
        { "", "new\r\n" },
        { "whole\r\n", "whole\r\nnew\r\n" },
        { "whole\n", "whole\nnew\r\n" },
        { "cut", "cut\r\nnew\r\n" },
        { "cut in its line end\r", "cut in its line end\r\nnew\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        TempDir dir;
        auto f = dir.write("log.dat", c.before);
        ASSERT_TRUE(appendLines(f, { "new" }).ok());
        EXPECT_EQ(readAll(f), c.after);
        EXPECT_EQ(readLines(f)->back(), "new");
    }
}

// Runs fn in a child without the right to pass over file permissions, as an
// ordinary user is: 0 when fn holds, 1 when not, 2 when the right cannot be dropped.
int withoutPermissionOverride(const std::function<bool()>& fn)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
        __user_cap_data_struct data[2] {};
        if (::syscall(SYS_capget, &header, data) != 0)
            ::_exit(2);
        for (int cap : { CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH })
            data[cap / 32].effective &= ~(1u << (cap % 32));
        if (::syscall(SYS_capset, &header, data) != 0)
            ::_exit(2);
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

TEST(Files, AppendWithoutReadAccessStillAppends)
{
    TempDir dir;
    auto f = dir.write("log.dat", "whole\r\n");
    ASSERT_EQ(::chmod(f.c_str(), 0200), 0); // the owner may write, nobody may read
    int result = withoutPermissionOverride([&] {
        if (::open(f.c_str(), O_RDONLY | O_CLOEXEC) >= 0)
            return false; // still reads everything: the test shows nothing
        return appendLines(f, { "new" }).ok();
    });
    if (result == 2)
        GTEST_SKIP() << "permissions cannot be enforced here";
    EXPECT_EQ(result, 0);
    ASSERT_EQ(::chmod(f.c_str(), 0600), 0);
    EXPECT_EQ(readAll(f), "whole\r\nnew\r\n");
}

TEST(Files, AnAppendThatDoesNotFitLeavesTheFileAsItWas)
{
    TempDir dir;
    auto f = dir.write("log.dat", "cut");
    const std::vector<std::string> entry { std::string(300, 'x'), std::string(200, 'y') };
    // A child whose files may not grow beyond 4 KB, as on a full disk: it appends
    // until an append fails and says how many went in and with which error.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit { 4096, 4096 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int report[2] = { 0, 0 };
        for (; report[0] < 100; ++report[0]) {
            auto r = appendLines(f, entry);
            if (!r) {
                report[1] = r.error().code;
                break;
            }
        }
        ssize_t written = ::write(pipeFds[1], report, sizeof report);
        ::_exit(written == sizeof report ? 0 : 1);
    }
    int report[2] = { 0, 0 };
    ASSERT_EQ(::read(pipeFds[0], report, sizeof report), static_cast<ssize_t>(sizeof report));
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::string whole = joinLinesCrLf(entry);
    EXPECT_EQ(report[0], static_cast<int>((4096 - 5) / whole.size()));
    EXPECT_EQ(report[1], EFBIG);
    std::string expected = "cut\r\n";
    for (int i = 0; i < report[0]; ++i)
        expected += whole;
    EXPECT_EQ(readAll(f), expected);

    // Without the limit the next entry follows the whole ones directly.
    ASSERT_TRUE(appendLines(f, { "next" }).ok());
    EXPECT_EQ(readAll(f), expected + "next\r\n");
}

TEST(Files, CreateExclusiveNeverTakesAnExistingName)
{
    TempDir dir;
    auto f = dir.file("report.txt");
    ASSERT_TRUE(createExclusive(f).ok());
    EXPECT_TRUE(exists(f));
    EXPECT_EQ(readAll(f), "");

    auto again = createExclusive(f);
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().code, EEXIST);

    // A dangling link is a taken name too: nothing is created where it points.
    auto link = dir.file("link.txt");
    ASSERT_EQ(::symlink(dir.file("target.txt").c_str(), link.c_str()), 0);
    auto linked = createExclusive(link);
    ASSERT_FALSE(linked.ok());
    EXPECT_EQ(linked.error().code, EEXIST);
    EXPECT_FALSE(exists(dir.file("target.txt")));

    auto missing = createExclusive(dir.file("Reports/report.txt"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
}

TEST(Files, ConcurrentAppendersNeverInterleave)
{
    TempDir dir;
    auto f = dir.file("shared.dat");
    constexpr int writers = 4, entries = 200;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            std::vector<std::string> entry;
            for (int line = 0; line < 9; ++line)
                entry.push_back("writer" + std::to_string(w) + std::string(500, 'a' + w));
            for (int i = 0; i < entries; ++i)
                ASSERT_TRUE(appendLines(f, entry).ok());
        });
    }
    for (auto& t : threads)
        t.join();
    auto lines = *readLines(f);
    ASSERT_EQ(lines.size(), static_cast<size_t>(writers * entries * 9));
    for (size_t i = 0; i < lines.size(); i += 9) {
        for (size_t j = 1; j < 9; ++j)
            ASSERT_EQ(lines[i + j], lines[i]) << "entry at line " << i << " was split";
    }
}

TEST(Files, ReplaceLeavesNoTemporaryBehind)
{
    TempDir dir;
    auto f = dir.write("index.dat", "old content");
    ASSERT_TRUE(replaceFile(f, "new\r\n").ok());
    EXPECT_EQ(readAll(f), "new\r\n");
    auto entries = *listDirectory(dir.path());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "index.dat");
    // A folder that does not exist: fails, creates nothing.
    EXPECT_FALSE(replaceFile(dir.file("none/index.dat"), "x").ok());
}

TEST(Files, StatusAndListingDoNotFollowLinksUnlessAsked)
{
    TempDir dir;
    dir.mkdir("sub");
    ASSERT_EQ(::symlink(dir.file("sub").c_str(), dir.file("link").c_str()), 0);
    EXPECT_EQ(status(dir.file("link"), FollowLinks::No)->kind, FileKind::Symlink);
    EXPECT_EQ(status(dir.file("link"), FollowLinks::Yes)->kind, FileKind::Directory);
    for (const auto& e : *listDirectory(dir.path()))
        EXPECT_EQ(e.kind, e.name == "sub" ? FileKind::Directory : FileKind::Symlink) << e.name;
}

TEST(Files, PrivateFolders)
{
    TempDir dir;
    ASSERT_TRUE(makeFolder(dir.file("p"), FolderAccess::Private).ok());
    EXPECT_EQ(status(dir.file("p"))->mode, 0700u);
    EXPECT_FALSE(makeFolder(dir.file("p")).ok());
}

} // namespace vz::files

namespace vz::files {

TEST(Files, AnOpenFileHasAShortPathToTheSameContent)
{
    test::TempDir dir;
    std::string folder = "x";
    while (folder.size() < 300)
        folder += "/0123456789abcdefghij";
    auto f = dir.write(folder + "/file", "content");
    auto opened = openForReading(f);
    ASSERT_TRUE(opened.ok());
    EXPECT_LT(opened->shortPath().size(), 32u);
    EXPECT_EQ(test::readAll(opened->shortPath()), "content");
    EXPECT_FALSE(openForReading(dir.file("missing")).ok());
}

TEST(Files, AMemoryFileHoldsExactlyItsLastContent)
{
    auto memory = MemoryFile::create("test");
    ASSERT_TRUE(memory.ok()) << memory.error().text();
    const std::string contents[] = { "a longer first content", "short", "", std::string(100000, 'x') + "end", "z" };
    for (const std::string& content : contents) {
        ASSERT_TRUE(memory->replaceContent(content).ok());
        EXPECT_EQ(readAll(memory->shortPath()), content) << "no rest of an earlier, longer content";
    }
    auto other = MemoryFile::create("test");
    ASSERT_TRUE(other.ok());
    EXPECT_NE(other->shortPath(), memory->shortPath());
}

TEST(Files, SwapFilesAreListedByName)
{
    // Whatever the machine uses, every listed swap file is a path.
    for (const auto& swap : activeSwapFiles())
        EXPECT_EQ(swap.front(), '/') << swap;
}

} // namespace vz::files

#include <sys/wait.h>

namespace vz::files {

TEST(Files, AnEntryAppendedDuringALockedRewriteIsNeverLost)
{
    test::TempDir dir;
    auto f = dir.file("viridx.dat");
    ASSERT_TRUE(appendLines(f, { "seed" }).ok());
    constexpr int entries = 300;
    pid_t appender = ::fork();
    if (appender == 0) {
        for (int i = 0; i < entries; ++i) {
            if (auto r = appendLines(f, { "entry " + std::to_string(i) }); !r) {
                std::fprintf(stderr, "append: %s\n", r.error().text().c_str());
                ::_exit(1);
            }
        }
        ::_exit(0);
    }
    // Rewrite the file again and again (dropping only the seed) while entries come in.
    pid_t rewriter = ::fork();
    if (rewriter == 0) {
        for (int i = 0; i < 200; ++i) {
            auto lock = FileLock::lockExclusive(f);
            if (!lock) {
                std::fprintf(stderr, "lock: %s\n", lock.error().text().c_str());
                ::_exit(1);
            }
            auto lines = readLines(f);
            if (!lines) {
                std::fprintf(stderr, "read: %s\n", lines.error().text().c_str());
                ::_exit(1);
            }
            std::vector<std::string> kept;
            for (auto& l : *lines) {
                if (l != "seed")
                    kept.push_back(l);
            }
            if (auto r = replaceFile(f, joinLinesCrLf(kept)); !r) {
                std::fprintf(stderr, "replace: %s\n", r.error().text().c_str());
                ::_exit(1);
            }
        }
        ::_exit(0);
    }
    for (pid_t child : { appender, rewriter }) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto lines = *readLines(f);
    std::set<std::string> seen(lines.begin(), lines.end());
    for (int i = 0; i < entries; ++i)
        EXPECT_TRUE(seen.count("entry " + std::to_string(i))) << "entry " << i << " was lost";
    EXPECT_FALSE(FileLock::lockExclusive(dir.file("missing")).ok());
}

} // namespace vz::files
