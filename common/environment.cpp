#include "common/environment.h"

#include <cstdlib>

namespace vz::environment {

std::string variable(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string {};
}

std::string runtimeFolder()
{
    std::string dir = variable(RuntimeDirVariable);
    if (dir.empty())
        dir = DefaultRuntimeDir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

} // namespace vz::environment
