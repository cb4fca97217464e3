#include "platform/launcher/detached_launcher.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::platform {

TEST(DetachedLauncher, StartsTheProgramInItsFolderWithoutWaiting)
{
    test::TempDir dir;
    // The program blocks on a fifo until the test lets it go: the launcher returned
    // while the program was still running.
    std::string fifo = dir.file("gate");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto script = dir.write("prog", "#!/bin/sh\nread line < gate\npwd > where\necho \"$1 $2\" > args\n");
    ::chmod(script.c_str(), 0755);
    ASSERT_TRUE(DetachedLauncher().startHidden(script, { "-a", "b c" }, dir.path()).ok());
    {
        // Opening the fifo for writing waits for the program's read: it is running.
        FILE* gate = std::fopen(fifo.c_str(), "w");
        ASSERT_NE(gate, nullptr);
        std::fputs("go\n", gate);
        std::fclose(gate);
    }
    // Wait for the program's last write through a second fifo-free handshake: poll the
    // file's content, bounded by the number of tries rather than by time.
    std::string args;
    for (int i = 0; i < 2000 && args != "-a b c\n"; ++i) {
        args = test::readAll(dir.file("args"));
        if (args != "-a b c\n")
            ::usleep(1000);
    }
    EXPECT_EQ(args, "-a b c\n");
    EXPECT_EQ(test::readAll(dir.file("where")), dir.path() + "\n");
}

TEST(DetachedLauncher, AMissingProgramIsAnError)
{
    test::TempDir dir;
    auto r = DetachedLauncher().startHidden(dir.file("installLSP"), {}, dir.path());
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().call, "execv");
    EXPECT_EQ(r.error().code, ENOENT);
    EXPECT_FALSE(DetachedLauncher().startHidden("/bin/true", {}, dir.file("no-such-folder")).ok());
}

} // namespace vz::platform
