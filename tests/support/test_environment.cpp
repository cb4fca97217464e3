#include "tests/support/test_environment.h"

#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::test {

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name)
{
    if (const char* old = std::getenv(name))
        m_old = old;
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (m_old)
        ::setenv(m_name.c_str(), m_old->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

std::string builtAppDir()
{
    return VZ_TEST_APPDIR;
}

std::string sourceDir()
{
    return VZ_SOURCE_DIR;
}

std::string binaryDir()
{
    return VZ_BINARY_DIR;
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

bool runAsUnprivileged(const std::function<bool()>& fn)
{
    pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        if (::geteuid() == 0) {
            uid_t uid = 65534;
            gid_t gid = 65534;
            if (passwd* pw = ::getpwnam("nobody")) {
                uid = pw->pw_uid;
                gid = pw->pw_gid;
            }
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(3);
        }
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace vz::test
