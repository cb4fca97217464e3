#pragma once

#include "common/engine/scan_engine.h"
#include "common/files.h"
#include "service/mail/mail_ports.h"

#include <optional>

namespace vz::mail {

// The mail scan's file test on the started scan engine: a zeroed file test record
// with the path and the options 9. Contents go through one private file in memory,
// rewritten for each, which the engine reads by its short path.
class EngineFileTester final : public MailEnginePort {
public:
    explicit EngineFileTester(const engine::ScanEngine& engine) : m_engine(engine) {}
    FileVerdict testFile(const std::string& path) override;
    std::optional<FileVerdict> testContent(std::string_view content) override;

private:
    const engine::ScanEngine& m_engine;
    std::optional<files::MemoryFile> m_memory;
    bool m_memoryFailed = false;
};

} // namespace vz::mail
