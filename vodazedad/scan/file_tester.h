#pragma once

#include "common/engine/engine_records.h"

namespace vz::scan {

// The engine calls a scan makes. The engine session's engine implements it
// (EngineFileTester); a test may stand in for the engine where it needs a result the
// real engine cannot give on this machine.
class FileTester {
public:
    virtual ~FileTester() = default;
    // Result flags (engine::ResultFlag); the record holds the details.
    virtual int testFile(engine::FileTestRecord& record) = 0;
    virtual int repairFile(engine::FileTestRecord& record) = 0;
    virtual int testMemory(engine::MemoryTestRecord& record) = 0;
};

} // namespace vz::scan
