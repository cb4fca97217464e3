#include "common/engine/engine_records.h"

#include <cstring>

namespace vz::engine {

namespace {

template<std::size_t N>
std::string boundedText(const char (&field)[N])
{
    return std::string(field, ::strnlen(field, N));
}

// Copies text and its zero into a field; refuses text that does not fit whole.
template<std::size_t N>
bool putText(char (&field)[N], std::string_view text)
{
    if (text.size() >= N || text.find('\0') != std::string_view::npos)
        return false;
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = '\0';
    return true;
}

} // namespace

EngineInfo decode(const EngineInfoRecord& record)
{
    return EngineInfo {
        record.engineMajor,
        record.engineMinor,
        10 * record.engineBuildHigh + record.engineBuildLow,
        record.definitionsYear,
        record.definitionsMonth,
        record.definitionsDay,
        record.knownViruses,
        { record.definitionsVersion[0], record.definitionsVersion[1], record.definitionsVersion[2], record.definitionsVersion[3] },
    };
}

Result<FileTestRecord> makeFileTestRecord(std::string_view path, std::uint16_t options, std::string_view tempFileName)
{
    FileTestRecord record {};
    if (path.empty() || !putText(record.filePath, path))
        return Error::withText("file test record", "path does not fit: " + std::string(path));
    if (!putText(record.tempFileName, tempFileName))
        return Error::withText("file test record", "temporary file name does not fit: " + std::string(tempFileName));
    record.options = options;
    return record;
}

MemoryTestRecord makeMemoryTestRecord(std::uint64_t processId, std::uint64_t baseAddress, std::uint32_t imageSize, std::uint16_t options)
{
    MemoryTestRecord record {};
    record.baseAddress = static_cast<std::uint32_t>(baseAddress);
    record.imageSize = imageSize;
    record.processId = processId;
    record.baseAddress64 = baseAddress;
    record.options = options;
    return record;
}

std::string virusName(const FileTestRecord& record)
{
    return record.hasVirusName ? boundedText(record.virusName) : std::string();
}

std::string virusName(const MemoryTestRecord& record)
{
    return record.hasVirusName ? boundedText(record.virusName) : std::string();
}

} // namespace vz::engine
