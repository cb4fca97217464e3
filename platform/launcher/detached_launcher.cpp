#include "platform/launcher/detached_launcher.h"

#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::platform {

Result<void> DetachedLauncher::startHidden(const std::string& program, const std::vector<std::string>& arguments, const std::string& workingFolder)
{
    // The grandchild reports an exec failure through a close-on-exec pipe: a successful
    // exec closes it with nothing written.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return Error::fromErrno("pipe2", errno);
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t child = ::fork();
    if (child < 0)
        return Error::fromErrno("fork", errno, program);
    if (child == 0) {
        // Child: a new session, then a grandchild that init adopts, so nobody waits.
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(grandchild < 0 ? 1 : 0);
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, 0);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        int err = 0;
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0)
            err = errno;
        if (err == 0) {
            ::execv(program.c_str(), argv.data());
            err = errno;
        }
        // The parent reads a short report as a failed start all the same.
        ignoreError(::write(writeEnd.get(), &err, sizeof err), "the child exits next; nothing else can be told");
        ::_exit(127);
    }
    writeEnd.reset();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return Error::fromErrno("fork", EAGAIN, program);
    int err = 0;
    ssize_t n;
    while ((n = ::read(readEnd.get(), &err, sizeof err)) < 0 && errno == EINTR) { }
    if (n == static_cast<ssize_t>(sizeof err))
        return Error::fromErrno("execv", err, program);
    return Success {};
}

} // namespace vz::platform
