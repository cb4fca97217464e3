#include "platform/processes/proc_process_list.h"

#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::platform {

namespace {

// Code of this test program, whose address must lie in the program's image.
__attribute__((noinline)) int codeOfThisProgram(int x)
{
    return x * 3 + 1;
}

std::string ownProgram()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

TEST(ProcessImageInMaps, SpansTheProgramsOwnMappingsOnly)
{
    const std::string maps = "55d0a1c00000-55d0a1c02000 r--p 00000000 fd:01 1234                       /usr/bin/prog\n"
                             "55d0a1c02000-55d0a1c08000 r-xp 00002000 fd:01 1234                       /usr/bin/prog\n"
                             "55d0a1c08000-55d0a1c0a000 r--p 00008000 fd:01 1234                       /usr/bin/prog\n"
                             "55d0a1c0b000-55d0a1c0c000 rw-p 0000a000 fd:01 1234                       /usr/bin/prog\n"
                             "55d0a2000000-55d0a2021000 rw-p 00000000 00:00 0                          [heap]\n"
                             "7f1000000000-7f1000200000 r-xp 00000000 fd:01 99                         /usr/bin/prog2\n"
                             "7f2000000000-7f2000001000 r-xp 00000000 fd:01 98                         /usr/lib/libc.so.6\n"
                             "7f3000000000-7f3000001000 r-xp 00000000 fd:01 97                         /opt/My Apps/run me\n"
                             "7f3000002000-7f3000004000 r--p 00000000 fd:01 97                         /opt/My Apps/run me\n"
                             "7f4000000000-7f4000001000 r-xp 00000000 fd:01 96                         /tmp/gone (deleted)\n"
                             "7f5000000000-7f5000001000 r-xp 00000000 fd:01 95                         /tmp/line\\012end\n"
                             "7ffd00000000-7ffd00021000 rw-p 00000000 00:00 0                          [stack]\n"
                             "garbage line /usr/bin/prog\n"
                             "zz-7f00 r-xp 00000000 fd:01 1 /usr/bin/prog\n"
                             "8000-4000 r-xp 00000000 fd:01 1 /usr/bin/prog\n";
    struct Case {
        const char* program;
        std::optional<ProcessImage> image;
    } cases[] = {
        { "/usr/bin/prog", ProcessImage { 0x55d0a1c00000, 0xc000 } },
        { "/usr/bin/prog2", ProcessImage { 0x7f1000000000, 0x200000 } },
        { "/opt/My Apps/run me", ProcessImage { 0x7f3000000000, 0x4000 } },
        { "/tmp/gone (deleted)", ProcessImage { 0x7f4000000000, 0x1000 } },
        { "/tmp/line\nend", ProcessImage { 0x7f5000000000, 0x1000 } },
        { "/usr/bin/pro", std::nullopt },
        { "/usr/bin/other", std::nullopt },
        { "[heap]", ProcessImage { 0x55d0a2000000, 0x21000 } },
    };
    for (const auto& c : cases) {
        auto image = imageInMaps(maps, c.program);
        ASSERT_EQ(image.has_value(), c.image.has_value()) << c.program;
        if (image) {
            EXPECT_EQ(image->baseAddress, c.image->baseAddress) << c.program;
            EXPECT_EQ(image->imageSize, c.image->imageSize) << c.program;
        }
    }
    EXPECT_FALSE(imageInMaps("", "/usr/bin/prog").has_value());
}

TEST(ProcProcessList, ListsThisProcessWithItsProgramAndImage)
{
    ProcProcessList list;
    auto ids = list.processIds(1'000'000);
    ASSERT_TRUE(ids.ok()) << ids.error().text();
    auto self = static_cast<std::uint32_t>(::getpid());
    EXPECT_NE(std::find(ids->begin(), ids->end(), self), ids->end());

    std::string program = ownProgram();
    ASSERT_FALSE(program.empty());
    auto name = list.firstModuleBaseName(self);
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(*name, "processes_test");

    auto image = list.moduleInformation(self);
    ASSERT_TRUE(image.has_value());
    EXPECT_GT(image->imageSize, 0u);
    auto code = reinterpret_cast<std::uintptr_t>(&codeOfThisProgram);
    EXPECT_GE(code, image->baseAddress);
    EXPECT_LT(code, image->baseAddress + image->imageSize);
    // The program's own data lies inside as well; the stack does not.
    static int dataOfThisProgram = 7;
    auto data = reinterpret_cast<std::uintptr_t>(&dataOfThisProgram);
    EXPECT_GE(data, image->baseAddress);
    EXPECT_LT(data, image->baseAddress + image->imageSize);
    int onTheStack = codeOfThisProgram(dataOfThisProgram);
    EXPECT_FALSE(reinterpret_cast<std::uintptr_t>(&onTheStack) >= image->baseAddress
        && reinterpret_cast<std::uintptr_t>(&onTheStack) < image->baseAddress + image->imageSize);
}

TEST(ProcProcessList, MaxCountIsHonouredInListOrder)
{
    ProcProcessList list;
    auto all = list.processIds(1'000'000);
    ASSERT_TRUE(all.ok());
    ASSERT_GE(all->size(), 2u);
    for (std::size_t n : { std::size_t(0), std::size_t(1), std::size_t(2) }) {
        auto some = list.processIds(n);
        ASSERT_TRUE(some.ok());
        ASSERT_EQ(some->size(), n);
        // The first processes (init and its first children) stay while the test runs.
        EXPECT_TRUE(std::equal(some->begin(), some->end(), all->begin())) << n;
    }
}

TEST(ProcProcessList, ProcessesWithoutAProgramOrGoneGiveNothing)
{
    ProcProcessList list;
    // The kernel's thread starter, when this machine's /proc shows it.
    if (test::readAll("/proc/2/comm") == "kthreadd\n") {
        EXPECT_EQ(list.firstModuleBaseName(2), std::nullopt);
        EXPECT_EQ(list.moduleInformation(2), std::nullopt);
    }
    // A process that ended (and was reaped) before being looked at.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(list.firstModuleBaseName(static_cast<std::uint32_t>(child)), std::nullopt);
    EXPECT_EQ(list.moduleInformation(static_cast<std::uint32_t>(child)), std::nullopt);
}

TEST(ProcProcessList, AnotherUsersProcessGivesNothing)
{
    struct stat st;
    ASSERT_EQ(::stat("/proc/1", &st), 0);
    if (!test::runningAsRoot() && st.st_uid == ::getuid())
        GTEST_SKIP() << "process 1 belongs to this user";
    EXPECT_TRUE(test::runAsUnprivileged([] {
        ProcProcessList list;
        return !list.firstModuleBaseName(1) && !list.moduleInformation(1) && list.processIds(10).ok();
    }));
}

TEST(ProcProcessList, OnlyNumericEntriesAreProcesses)
{
    test::TempDir proc;
    for (const char* entry : { "1", "self", "22", "12x", "sys", "4294967296", "333" })
        proc.mkdir(entry);
    ProcProcessList list(proc.path());
    auto ids = list.processIds(100);
    ASSERT_TRUE(ids.ok());
    EXPECT_EQ(std::set<std::uint32_t>(ids->begin(), ids->end()), (std::set<std::uint32_t> { 1, 22, 333 }));
    EXPECT_EQ(list.firstModuleBaseName(1), std::nullopt); // no exe link in the fixture

    ProcProcessList missing(proc.file("absent"));
    EXPECT_FALSE(missing.processIds(10).ok());
}

} // namespace vz::platform
