#include "service/mail/engine_file_tester.h"

namespace vz::mail {

FileVerdict EngineFileTester::testFile(const std::string& path)
{
    auto record = engine::makeFileTestRecord(path, MailTestOptions);
    if (!record)
        return FileVerdict { TestFlag::Error, {} };
    FileVerdict verdict;
    verdict.flags = static_cast<std::uint32_t>(m_engine.testFile(*record));
    if (verdict.infected())
        verdict.virusName = engine::virusName(*record);
    return verdict;
}

} // namespace vz::mail
