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

namespace {

void putLe(std::string& out, std::size_t at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xff);
}

std::string biffRecord(std::uint16_t type, const std::string& data)
{
    std::string r(4, '\0');
    putLe(r, 0, type, 2);
    putLe(r, 2, data.size(), 2);
    return r + data;
}

std::string biffBof(std::uint16_t sheetType)
{
    std::string d(16, '\0');
    putLe(d, 0, 0x0600, 2); // BIFF8
    putLe(d, 2, sheetType, 2);
    putLe(d, 4, 0x1234, 2);
    putLe(d, 6, 1997, 2);
    putLe(d, 12, 0x0006, 4);
    return biffRecord(0x0809, d);
}

} // namespace

std::string spreadsheetWithMacroSheet()
{
    constexpr std::uint32_t Free = 0xFFFFFFFF, EndOfChain = 0xFFFFFFFE, FatSector = 0xFFFFFFFD, NoStream = 0xFFFFFFFF;
    // The workbook: globals naming one sheet of type "macro sheet", then that sheet.
    std::string boundSheet(6, '\0');
    boundSheet[5] = 1;           // sheet type: Excel 4.0 macro sheet
    boundSheet += std::string("\x01\x00M", 3); // its name "M"
    std::string workbook = biffBof(0x0005) + biffRecord(0x0085, boundSheet) + biffRecord(0x000A, "") + biffBof(0x0040)
        + biffRecord(0x000A, "");
    workbook.resize(4096, '\0'); // a stream of the regular sectors, not the mini stream
    const std::size_t streamSectors = workbook.size() / 512;

    // Header: version 3, 512-byte sectors; the FAT in sector 0, the directory in sector 1.
    std::string header(512, '\0');
    header.replace(0, 8, fromHex("d0cf11e0a1b11ae1"));
    putLe(header, 24, 0x3E, 2);
    putLe(header, 26, 3, 2);
    putLe(header, 28, 0xFFFE, 2);
    putLe(header, 30, 9, 2);
    putLe(header, 32, 6, 2);
    putLe(header, 44, 1, 4);
    putLe(header, 48, 1, 4);
    putLe(header, 56, 4096, 4);
    putLe(header, 60, EndOfChain, 4);
    putLe(header, 68, EndOfChain, 4);
    putLe(header, 76, 0, 4);
    for (std::size_t i = 1; i < 109; ++i)
        putLe(header, 76 + 4 * i, Free, 4);

    std::string fat(512, '\0');
    for (std::size_t i = 0; i < 128; ++i)
        putLe(fat, 4 * i, Free, 4);
    putLe(fat, 0, FatSector, 4);
    putLe(fat, 4, EndOfChain, 4);
    for (std::size_t i = 0; i < streamSectors; ++i)
        putLe(fat, 4 * (2 + i), i + 1 < streamSectors ? 3 + i : EndOfChain, 4);

    auto entry = [&](const std::u16string& name, int type, std::uint32_t child, std::uint32_t start, std::uint64_t size) {
        std::string e(128, '\0');
        for (std::size_t i = 0; i < name.size(); ++i)
            putLe(e, 2 * i, name[i], 2);
        putLe(e, 64, name.empty() ? 0 : 2 * (name.size() + 1), 2);
        e[66] = static_cast<char>(type);
        e[67] = 1;
        putLe(e, 68, NoStream, 4);
        putLe(e, 72, NoStream, 4);
        putLe(e, 76, child, 4);
        putLe(e, 116, start, 4);
        putLe(e, 120, size, 8);
        return e;
    };
    std::string directory = entry(u"Root Entry", 5, 1, EndOfChain, 0) + entry(u"Workbook", 2, NoStream, 2, workbook.size())
        + std::string(256, '\0');
    return header + fat + directory + workbook;
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
