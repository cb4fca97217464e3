#include "driver/name_builder.h"

namespace vz::driver {

namespace {

std::string driveColon(const FilterExtension& volume)
{
    std::string text(1, static_cast<char>(volume.DriveLetter));
    text += ':';
    return text;
}

// Removes, from the fourth character on, everything up to and including the third "\".
// A name with fewer separators loses all of that part.
void dropServerAndShare(std::string& name)
{
    std::size_t at = 3;
    for (int found = 0; found < 3 && at != std::string::npos; ++found) {
        at = name.find('\\', at);
        if (at != std::string::npos)
            ++at;
    }
    name.erase(3, at == std::string::npos ? std::string::npos : at - 3);
}

void rewriteNetworkName(std::string& name)
{
    if (name.size() < 4)
        return;
    if (name[1] == ';') {
        // \;Z:<logon id>\server\share\path
        const char letter = name[2];
        name[0] = letter;
        name[1] = ':';
        name[2] = '\\';
        dropServerAndShare(name);
    } else if (name[2] == ':') {
        // \Z:\server\share\path
        const char letter = name[1];
        name[0] = letter;
        name[1] = ':';
        name[2] = '\\';
        dropServerAndShare(name);
    } else {
        // \server\share\path
        if (name.size() + 1 > kMaxFullNameLength)
            name = " <Name Too Long>";
        name.insert(name.begin(), '\\');
    }
}

} // namespace

std::string buildFullName(const FilterExtension& volume, const FileObject& file)
{
    const bool network = file.deviceType() == FILE_DEVICE_NETWORK_FILE_SYSTEM;
    const std::string prefix = network ? std::string() : driveColon(volume);

    if (!file.hasName())
        return driveColon(volume);

    std::optional<std::string> name = file.ansiName();
    if (!name)
        return driveColon(volume) + " <Out of Memory>";

    std::optional<std::string> related;
    const FileObject* relatedFile = file.relatedFileObject();
    if ((name->empty() || name->front() != '\\') && relatedFile != nullptr && relatedFile->hasName()) {
        related = relatedFile->ansiName();
        if (!related)
            return driveColon(volume) + " <Out of Memory>";
    }

    std::string result;
    const std::size_t length = prefix.size() + (related ? related->size() + 1 : 0) + name->size();
    if (length > kMaxFullNameLength) {
        result = prefix + " <Name Too Long>";
    } else {
        result = prefix;
        if (related) {
            result += *related;
            result += '\\';
        }
        result += *name;
        if (related && result.size() > 3 && result[2] == '\\' && result[3] == '\\')
            result.erase(3, 1);
    }

    if (network)
        rewriteNetworkName(result);
    return result;
}

} // namespace vz::driver
