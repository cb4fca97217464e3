#include "common/result.h"

#include <cstring>

namespace vz {

Error Error::fromErrno(std::string call, int code, std::string detail)
{
    return Error { std::move(call), code, std::move(detail) };
}

Error Error::withText(std::string call, std::string detail)
{
    return Error { std::move(call), 0, std::move(detail) };
}

std::string Error::text() const
{
    std::string out = call;
    if (!detail.empty())
        out += "(" + detail + ")";
    if (code != 0) {
        out += ": ";
        out += std::strerror(code);
    }
    return out;
}

} // namespace vz
