#pragma once

#include "common/engine/scan_engine.h"
#include "service/mail/mail_ports.h"

namespace vz::mail {

// The mail scan's file test on the started scan engine: a zeroed file test record
// with the path and the options 9.
class EngineFileTester final : public MailEnginePort {
public:
    explicit EngineFileTester(const engine::ScanEngine& engine) : m_engine(engine) {}
    FileVerdict testFile(const std::string& path) override;

private:
    const engine::ScanEngine& m_engine;
};

} // namespace vz::mail
