#pragma once

#include "common/engine/scan_engine.h"
#include "vodazedad/scan/file_tester.h"

namespace vz::scan {

// The engine's own calls behind the scan's tester port.
class EngineFileTester final : public FileTester {
public:
    explicit EngineFileTester(const engine::ScanEngine& engine) : m_engine(engine) {}
    int testFile(engine::FileTestRecord& record) override { return m_engine.testFile(record); }
    int repairFile(engine::FileTestRecord& record) override { return m_engine.repairFile(record); }
    int testMemory(engine::MemoryTestRecord& record) override { return m_engine.testMemory(record); }

private:
    const engine::ScanEngine& m_engine;
};

} // namespace vz::scan
