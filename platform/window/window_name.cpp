#include "platform/window/window_name.h"

#include "common/paths.h"

#include <cstdint>
#include <cstdio>

namespace vz::platform {

namespace {

constexpr std::size_t MaxPlainName = 80;
constexpr std::size_t KeptWhenHashed = 48;

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::uint64_t fnv1a(std::string_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

} // namespace

std::string windowSocketName(std::string_view title)
{
    if (title.empty())
        return {};
    std::string lowered;
    std::string name;
    for (char c : title) {
        char l = lower(c);
        lowered += l;
        if ((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '-' || l == '_') {
            name += l;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            name += hex;
        }
    }
    if (name.size() > MaxPlainName) {
        char hash[20];
        std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(fnv1a(lowered)));
        name = name.substr(0, KeptWhenHashed) + hash;
    }
    return name + ".window";
}

std::string windowSocketPath(std::string_view folder, std::string_view title)
{
    std::string name = windowSocketName(title);
    return name.empty() ? std::string() : paths::join(folder, name);
}

} // namespace vz::platform
