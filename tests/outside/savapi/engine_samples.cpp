#include "tests/outside/savapi/engine_samples.h"

#include "common/files.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

namespace vz::test::engine {

using namespace vz::engine;

std::string fromHex(std::string_view hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

std::string standardTestFile()
{
    return fromHex("58354f2150254041505b345c505a58353428505e2937434329377d2445494341522d5354414e444152442d414e544956495255532d544553542d46494c452124482b482a");
}

std::string appendedBlock()
{
    return fromHex("3c3c565a2d52455041495241424c452d544553542d424c4f434b3e3e0a"
                   "54686973206861726d6c65737320626c6f636b207374616e647320696e20666f7220616e20617070656e64696e672076697275732e0a"
                   "3c3c565a2d52455041495241424c452d544553542d424c4f434b2d454e443e3e0a");
}

std::string cleanHost()
{
    std::string host = "host program\n";
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b)
            host.push_back(static_cast<char>(b));
        host.append(100, '\0');
    }
    return host + "end of host";
}

std::string encryptedZip()
{
    return fromHex("504b03040a0009000000765e8b5d20303a36120000000600000005001c00612e7478745554090003cfe31b6bcfe31b6b75780b0001040000"
                   "0000040000000055ee60a2e70079c08948718c1ecd0ce00528504b070820303a361200000006000000504b01021e030a0009000000765e8b5d"
                   "20303a361200000006000000050018000000000001000000a48100000000612e7478745554050003cfe31b6b75780b00010400000000040000"
                   "0000504b050600000000010001004b000000610000000000");
}

std::string testFile(std::string_view name)
{
    return std::string(TestFilesFolder) + std::string(name);
}

EnginePaths builtEngine()
{
    return EnginePaths::inFolder(builtAppDir());
}

EnginePaths copyEngine(const TempDir& folder)
{
    const EnginePaths built = builtEngine();
    const EnginePaths copy = EnginePaths::inFolder(folder.path());
    for (auto [from, to] : { std::pair { built.library, copy.library }, { built.module, copy.module }, { built.definitions, copy.definitions } })
        EXPECT_TRUE(files::copyFile(from, to, files::Overwrite::Yes).ok()) << from;
    return copy;
}

std::unique_ptr<ScanEngine> startEngine(const EnginePaths& paths)
{
    platform::DynamicLibraryLoader loader;
    auto engine = ScanEngine::start(loader, paths);
    EXPECT_TRUE(engine.ok()) << (engine.ok() ? "" : engine.error().text());
    return engine.ok() ? std::move(*engine) : nullptr;
}

int startCode(const EnginePaths& paths)
{
    platform::DynamicLibraryLoader loader;
    auto engine = ScanEngine::start(loader, paths);
    return engine.ok() ? 0 : engine.error().code;
}

FileTestRecord test(const ScanEngine& engine, const std::string& path, std::uint16_t options)
{
    auto record = makeFileTestRecord(path, options, "avscan00.tmp");
    EXPECT_TRUE(record.ok());
    const int answer = engine.testFile(*record);
    EXPECT_EQ(answer, record->resultFlags) << "the answer carries the result flags";
    return *record;
}

} // namespace vz::test::engine
