#pragma once

#include "outside/savapi/ave_module.h"
#include "outside/savapi/definitions_format.h"
#include "outside/savapi/private_folder.h"
#include "outside/savapi/verdict_cache.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct cl_engine;

namespace vz::savapi {

// Starts libclamav once per process, its messages captured; false when it cannot start.
bool startLibrary();

// Loads one section into a libclamav engine through a file of the section's name in
// folder (libclamav picks the parser by the extension). Answers the signatures added,
// or an empty problem text on success.
struct SectionLoad {
    unsigned signatures = 0;
    std::string problem;
};
SectionLoad loadSection(cl_engine* engine, const std::string& folder, const DefinitionsSection& section);
// Loads a section already written to `file` (its database name is `name`).
SectionLoad loadWrittenSection(cl_engine* engine, const std::string& file, const std::string& name);

// What the engines of this process have done since it started, for tests to watch:
// engines compiled, files handed to libclamav by descriptor, tests answered from the
// verdict cache.
struct EngineCounters {
    std::uint64_t enginesCompiled;
    std::uint64_t filesScanned;
    std::uint64_t cachedVerdicts;
};
EngineCounters engineCounters();

// The detecting engine: libclamav with the signatures of one definitions file, compiled
// once whatever options the tests use, a private temporary folder and the verdict cache.
// Tests may run on several threads at once.
class ClamEngine {
public:
    static int create(const std::string& definitionsPath, const AveSettings& settings, std::unique_ptr<ClamEngine>& engine, AveDefinitionsInfo& info);
    ~ClamEngine();
    ClamEngine(const ClamEngine&) = delete;
    ClamEngine& operator=(const ClamEngine&) = delete;

    AveResult scanDescriptor(int fd, const char* name, std::uint16_t options) const;
    AveResult scanMemory(const void* data, std::size_t size, const char* name, std::uint16_t options) const;
    AveResult repairDescriptor(int fd, std::string_view virusName) const;
    std::string virusNames() const;

private:
    struct RepairRule {
        RepairMethod method = RepairMethod::None;
        std::string beginMarker;
        std::string endMarker;
    };

    ClamEngine() = default;
    int build(Definitions& definitions, std::uint32_t& signatures);
    AveResult interpret(int status, const char* virusName, bool loggedErrors) const;
    const RepairRule* ruleFor(std::string_view virusName) const;

    cl_engine* m_engine = nullptr;
    std::unique_ptr<PrivateFolder> m_folder; // removed once the destructor has freed the engine
    AveSettings m_settings {};
    std::unique_ptr<VerdictCache> m_verdicts; // null when the settings turn it off
    std::map<std::string, RepairRule, std::less<>> m_rules;
    // The detection names are read from the definitions again when asked for: a million
    // of them would cost memory and start time for a list that is rarely wanted.
    std::string m_definitionsPath;
    std::string m_definitionsHeader; // the header of the definitions loaded
};

} // namespace vz::savapi
