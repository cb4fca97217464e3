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
        // The engine opens the file by its short path: without /proc, say, the caller
        // falls back to a file per content.
        auto made = files::MemoryFile::create("vzmail");
        if (made && files::openForReading(made->shortPath()))
            m_memory.emplace(std::move(*made));
        else
            m_memoryFailed = true;
    }
    if (!m_memory)
        return std::nullopt;
    if (auto written = m_memory->replaceContent(content); !written)
        return std::nullopt;
    FileVerdict verdict = testFile(m_memory->shortPath());
    // A large content is not kept in memory until the next one comes.
    constexpr std::size_t KeptBytes = std::size_t(1) << 20;
    if (content.size() > KeptBytes)
        ignoreError(m_memory->replaceContent({}), "a later content replaces it anyway");
    return verdict;
}

} // namespace vz::mail
