#include "outside/savapi/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::savapi {

RegularFile openRegularFile(const std::string& path)
{
    RegularFile file;
    // O_NONBLOCK: opening a pipe without a writer would wait for ever; on a regular
    // file it changes nothing.
    file.fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.fd.valid()) {
        file.error = errno;
        return file;
    }
    struct stat st {};
    if (::fstat(file.fd.get(), &st) != 0) {
        file.error = errno;
        file.fd.reset();
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.error = EINVAL;
        file.fd.reset();
        return file;
    }
    file.size = static_cast<std::uint64_t>(st.st_size);
    return file;
}

bool readExactly(int fd, std::uint64_t offset, std::size_t count, std::string& out, int& error)
{
    error = 0;
    out.resize(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, out.data() + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0) {
            out.resize(done);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace vz::savapi
