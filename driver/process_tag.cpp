#include "driver/process_tag.h"

#include <algorithm>
#include <cstring>

namespace vz::driver {

std::uint32_t findImageNameOffset(const ProcessObject& startProcess)
{
    static constexpr char kSystem[] = "System";
    constexpr std::size_t kLength = sizeof(kSystem) - 1;
    const std::size_t size = startProcess.body.size();
    for (std::uint32_t at = 0; at < kImageNameSearchLimit && at + kLength <= size; ++at) {
        if (std::memcmp(startProcess.body.data() + at, kSystem, kLength) == 0)
            return at;
    }
    return 0;
}

std::string processTag(const ProcessObject& process, std::uint32_t imageNameOffset)
{
    if (imageNameOffset == 0)
        return "???";
    std::string tag;
    const std::size_t size = process.body.size();
    for (std::size_t at = imageNameOffset; at < size && tag.size() < kImageNameMaxChars; ++at) {
        char c = static_cast<char>(process.body[at]);
        if (c == '\0')
            break;
        tag += c;
    }
    tag += ':';
    tag += std::to_string(process.id);
    return tag;
}

} // namespace vz::driver
