#include "driver/name_builder.h"
#include "driver/simulated/simulated_kernel.h"

#include <gtest/gtest.h>

#include <memory>

namespace vz::driver::test {

namespace {

std::shared_ptr<sim::SimFileObject> fileNamed(const std::string& name, std::uint32_t type = sim::FILE_DEVICE_DISK_FILE_SYSTEM)
{
    auto file = std::make_shared<sim::SimFileObject>();
    file->name = name;
    file->type = type;
    return file;
}

} // namespace

TEST(NameBuilder, BuildsTheFullNameOfAnOpen)
{
    struct Case {
        const char* what;
        std::uint32_t type;
        std::string name;
        std::string related; // empty: no related file object
        std::string expected;
    };
    const std::uint32_t disk = sim::FILE_DEVICE_DISK_FILE_SYSTEM;
    const std::uint32_t net = FILE_DEVICE_NETWORK_FILE_SYSTEM;
    const Case cases[] = {
        { "plain", disk, "\\dir\\a.exe", "", "C:\\dir\\a.exe" },
        { "no name", disk, "", "", "C:" },
        { "no name on a network", net, "", "", "C:" },
        { "relative to a folder", disk, "a.exe", "\\dir", "C:\\dir\\a.exe" },
        { "relative to the root", disk, "a.exe", "\\", "C:\\a.exe" },
        { "absolute despite a related object", disk, "\\x\\a.exe", "\\dir", "C:\\x\\a.exe" },
        { "redirector form", net, "\\;Z:0000000000003e7\\server\\share\\dir\\f.exe", "", "Z:\\dir\\f.exe" },
        { "drive form", net, "\\Z:\\server\\share\\dir\\f.exe", "", "Z:\\dir\\f.exe" },
        { "UNC form", net, "\\server\\share\\f.exe", "", "\\\\server\\share\\f.exe" },
        { "short network name", net, "\\ab", "", "\\ab" },
        { "redirector form without a path", net, "\\;Z:0000000000003e7\\server", "", "Z:\\" },
        { "1030 characters", disk, "\\" + std::string(1029, 'x'), "", "C: <Name Too Long>" },
        { "1023 characters fit", disk, "\\" + std::string(1020, 'x'), "", "C:\\" + std::string(1020, 'x') },
        { "1024 characters do not", disk, "\\" + std::string(1021, 'x'), "", "C: <Name Too Long>" },
        { "too long with the related name", disk, std::string(600, 'x'), "\\" + std::string(500, 'd'), "C: <Name Too Long>" },
        { "UNC name one short of the limit", net, "\\" + std::string(1022, 's'), "", "\\ <Name Too Long>" },
    };
    FilterExtension volume;
    volume.Type = kVolumeFilterType;
    volume.DriveLetter = 'C';
    for (const Case& c : cases) {
        auto file = fileNamed(c.name, c.type);
        if (!c.related.empty())
            file->related = fileNamed(c.related, c.type);
        const std::string built = buildFullName(volume, *file);
        EXPECT_EQ(built, c.expected) << c.what;
        EXPECT_LE(built.size(), kMaxFullNameLength) << c.what;
    }
}

TEST(NameBuilder, ANameThatCannotBeConvertedSaysOutOfMemory)
{
    FilterExtension volume;
    volume.DriveLetter = 'D';
    auto file = fileNamed("\\dir\\a.exe");
    file->unconvertible = true;
    EXPECT_EQ(buildFullName(volume, *file), "D: <Out of Memory>");

    auto relative = fileNamed("a.exe");
    relative->related = fileNamed("\\dir");
    relative->related->unconvertible = true;
    EXPECT_EQ(buildFullName(volume, *relative), "D: <Out of Memory>");
}

} // namespace vz::driver::test
