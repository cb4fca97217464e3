#include "common/engine/engine_records.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace vz::engine {
namespace {

template<typename Record>
const unsigned char* bytesOf(const Record& record)
{
    return reinterpret_cast<const unsigned char*>(&record);
}

// A field set through its name must land at its offset, little-endian.
template<typename Record>
struct FieldCase {
    const char* name;
    std::size_t offset;
    int width;
    std::function<void(Record&, std::uint64_t)> set;
};

template<typename Record>
void checkFields(const std::vector<FieldCase<Record>>& cases, std::size_t size)
{
    for (const auto& c : cases) {
        Record record {};
        const std::uint64_t value = 0x0807060504030201ull & (c.width == 8 ? ~0ull : (1ull << (8 * c.width)) - 1);
        c.set(record, value);
        const unsigned char* bytes = bytesOf(record);
        for (std::size_t i = 0; i < size; ++i) {
            const bool inField = i >= c.offset && i < c.offset + static_cast<std::size_t>(c.width);
            const unsigned expected = inField ? static_cast<unsigned>(i - c.offset + 1) : 0u;
            ASSERT_EQ(bytes[i], expected) << c.name << " at byte " << i;
        }
    }
}

TEST(EngineRecords, FileTestRecordKeepsItsLayout)
{
    ASSERT_EQ(sizeof(FileTestRecord), 598u);
    using R = FileTestRecord;
    checkFields<R>({
        { "options", 520, 2, [](R& r, std::uint64_t v) { r.options = static_cast<std::uint16_t>(v); } },
        { "result flags", 522, 2, [](R& r, std::uint64_t v) { r.resultFlags = static_cast<std::uint16_t>(v); } },
        { "virus name given", 524, 2, [](R& r, std::uint64_t v) { r.hasVirusName = static_cast<std::uint16_t>(v); } },
        { "repairable", 560, 2, [](R& r, std::uint64_t v) { r.repairable = static_cast<std::uint16_t>(v); } },
        { "error code", 562, 2, [](R& r, std::uint64_t v) { r.errorCode = static_cast<std::uint16_t>(v); } },
        { "error detail", 564, 2, [](R& r, std::uint64_t v) { r.errorDetail = static_cast<std::uint16_t>(v); } },
        { "warning code", 566, 4, [](R& r, std::uint64_t v) { r.warningCode = static_cast<std::uint32_t>(v); } },
    }, sizeof(R));
    R record {};
    EXPECT_EQ(reinterpret_cast<const char*>(&record.tempFileName) - reinterpret_cast<const char*>(&record), 256);
    EXPECT_EQ(reinterpret_cast<const char*>(&record.virusName) - reinterpret_cast<const char*>(&record), 526);
    EXPECT_EQ(sizeof record.virusName, 34u);
}

TEST(EngineRecords, MemoryTestRecordKeepsItsLayoutAndCarriesTheProcessInItsReservedArea)
{
    ASSERT_EQ(sizeof(MemoryTestRecord), 346u);
    using R = MemoryTestRecord;
    checkFields<R>({
        { "base address", 0, 4, [](R& r, std::uint64_t v) { r.baseAddress = static_cast<std::uint32_t>(v); } },
        { "image size", 4, 4, [](R& r, std::uint64_t v) { r.imageSize = static_cast<std::uint32_t>(v); } },
        { "process id", 8, 8, [](R& r, std::uint64_t v) { r.processId = v; } },
        { "full base address", 16, 8, [](R& r, std::uint64_t v) { r.baseAddress64 = v; } },
        { "options", 268, 2, [](R& r, std::uint64_t v) { r.options = static_cast<std::uint16_t>(v); } },
        { "result flags", 270, 2, [](R& r, std::uint64_t v) { r.resultFlags = static_cast<std::uint16_t>(v); } },
        { "virus name given", 272, 2, [](R& r, std::uint64_t v) { r.hasVirusName = static_cast<std::uint16_t>(v); } },
        { "repairable", 308, 2, [](R& r, std::uint64_t v) { r.repairable = static_cast<std::uint16_t>(v); } },
        { "error code", 310, 2, [](R& r, std::uint64_t v) { r.errorCode = static_cast<std::uint16_t>(v); } },
        { "error detail", 312, 2, [](R& r, std::uint64_t v) { r.errorDetail = static_cast<std::uint16_t>(v); } },
        { "warning code", 314, 4, [](R& r, std::uint64_t v) { r.warningCode = static_cast<std::uint32_t>(v); } },
    }, sizeof(R));

    const MemoryTestRecord record = makeMemoryTestRecord(4242, 0x7f1234567000ull, 8192, 9);
    EXPECT_EQ(record.processId, 4242u);
    EXPECT_EQ(record.baseAddress64, 0x7f1234567000ull);
    EXPECT_EQ(record.baseAddress, 0x34567000u);
    EXPECT_EQ(record.imageSize, 8192u);
    EXPECT_EQ(record.options, 9);
}

TEST(EngineRecords, EngineInformationIsReadFromItsOffsets)
{
    unsigned char bytes[sizeof(EngineInfoRecord)] {};
    bytes[4] = 1;
    bytes[5] = 4;
    bytes[6] = 1;
    bytes[7] = 2;
    bytes[8] = 0xea; // 2026
    bytes[9] = 0x07;
    bytes[10] = 12;
    bytes[11] = 31;
    bytes[12] = 3;
    bytes[15] = 9;
    bytes[32] = 0x10;
    bytes[33] = 0x27; // 10000
    EngineInfoRecord record;
    std::memcpy(&record, bytes, sizeof record);
    const EngineInfo info = decode(record);
    EXPECT_EQ(info.major, 1);
    EXPECT_EQ(info.minor, 4);
    EXPECT_EQ(info.build, 12);
    EXPECT_EQ(info.definitionsYear, 2026);
    EXPECT_EQ(info.definitionsMonth, 12);
    EXPECT_EQ(info.definitionsDay, 31);
    EXPECT_EQ(info.knownViruses, 10000u);
    EXPECT_EQ(info.definitionsVersion[0], 3);
    EXPECT_EQ(info.definitionsVersion[1], 0);
    EXPECT_EQ(info.definitionsVersion[3], 9);
}

TEST(EngineRecords, APathIsTakenWholeOrRefused)
{
    const std::string longest = "/" + std::string(254, 'p');
    struct Case {
        const char* what;
        std::string path;
        std::string temp;
        bool accepted;
    };
    const Case cases[] = {
        { "ordinary", "/home/u/a.exe", "avscan00.tmp", true },
        { "255 bytes and the zero", longest, "", true },
        { "256 bytes", longest + "x", "", false },
        { "empty", "", "", false },
        { "with a zero inside", std::string("/a\0b", 4), "", false },
        { "temporary name too long", "/a", std::string(256, 't'), false },
    };
    for (const auto& c : cases) {
        auto record = makeFileTestRecord(c.path, 0x1009, c.temp);
        ASSERT_EQ(record.ok(), c.accepted) << c.what;
        if (!record)
            continue;
        EXPECT_EQ(std::string(record->filePath), c.path) << c.what;
        EXPECT_EQ(std::string(record->tempFileName), c.temp) << c.what;
        EXPECT_EQ(record->options, 0x1009) << c.what;
        EXPECT_EQ(record->resultFlags, 0) << c.what;
    }
}

TEST(EngineRecords, VirusNameIsReadOnlyWhenGivenAndNeverPastItsField)
{
    FileTestRecord record {};
    std::memset(record.virusName, 'V', sizeof record.virusName);
    EXPECT_EQ(virusName(record), "");
    record.hasVirusName = 1;
    EXPECT_EQ(virusName(record), std::string(34, 'V'));
}

} // namespace
} // namespace vz::engine
