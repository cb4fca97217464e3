#include "service/mail/engine_file_tester.h"

namespace vz::mail {

FileVerdict EngineFileTester::testFile(const std::string& path)
{
    auto record = engine::makeFileTestRecord(path, MailTestOptions);
    if (!record)
        return FileVerdict { TestFlag::Error, 0, {} };
    FileVerdict verdict;
    verdict.flags = static_cast<std::uint32_t>(m_engine.testFile(*record));
    verdict.warningCode = record->warningCode;
    if (verdict.infected())
        verdict.virusName = engine::virusName(*record);
    return verdict;
}

std::optional<FileVerdict> EngineFileTester::testContent(std::string_view content)
{
    if (!m_memory && !m_memoryFailed) {
        auto made = files::MemoryFile::create("vzmail");
        if (made)
            m_memory.emplace(std::move(*made));
        else
            m_memoryFailed = true; // the caller falls back to a file per content
    }
    if (!m_memory)
        return std::nullopt;
    if (auto written = m_memory->replaceContent(content); !written)
        return std::nullopt;
    return testFile(m_memory->shortPath());
}

} // namespace vz::mail
