// The engine module AVEWIN32.DLL: the detecting engine behind the module table.
#include "outside/savapi/ave_module.h"
#include "outside/savapi/clamav_engine.h"

#include <cstring>
#include <new>

namespace vz::savapi {

namespace {

// The module's own version, shown beside the engine's.
constexpr std::uint8_t ModuleVersion[4] = { 1, 0, 0, 1 };

const ClamEngine* engineOf(const AveEngine* engine)
{
    return reinterpret_cast<const ClamEngine*>(engine);
}

int create(const char* definitionsPath, const AveSettings* settings, AveEngine** engine, AveDefinitionsInfo* info)
{
    if (!definitionsPath || !settings || !engine || !info)
        return AveBadArguments;
    try {
        std::unique_ptr<ClamEngine> created;
        const int status = ClamEngine::create(definitionsPath, *settings, created, *info);
        if (status == AveOk)
            *engine = reinterpret_cast<AveEngine*>(created.release());
        return status;
    } catch (const std::bad_alloc&) {
        return AveEngineFailure;
    }
}

void destroy(AveEngine* engine)
{
    delete reinterpret_cast<ClamEngine*>(engine);
}

void failed(AveResult* result)
{
    *result = AveResult {};
    result->flags = code::FlagError;
    result->errorCode = code::OutOfMemory;
}

void scanDescriptor(const AveEngine* engine, int fd, const char* name, std::uint16_t options, AveResult* result)
{
    try {
        *result = engineOf(engine)->scanDescriptor(fd, name, options);
    } catch (const std::bad_alloc&) {
        failed(result);
    }
}

void scanMemory(const AveEngine* engine, const void* data, std::size_t size, const char* name, std::uint16_t options, AveResult* result)
{
    try {
        *result = engineOf(engine)->scanMemory(data, size, name, options);
    } catch (const std::bad_alloc&) {
        failed(result);
    }
}

void repairDescriptor(const AveEngine* engine, int fd, const char* virusName, AveResult* result)
{
    try {
        *result = engineOf(engine)->repairDescriptor(fd, virusName ? virusName : "");
    } catch (const std::bad_alloc&) {
        failed(result);
    }
}

std::size_t virusNames(const AveEngine* engine, char* buffer, std::size_t size)
{
    try {
        const std::string names = engineOf(engine)->virusNames();
        if (buffer && size > names.size())
            std::memcpy(buffer, names.c_str(), names.size() + 1);
        return names.size() + 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

const AveModule Module {
    AVE_INTERFACE_VERSION,
    { ModuleVersion[0], ModuleVersion[1], ModuleVersion[2], ModuleVersion[3] },
    create,
    destroy,
    scanDescriptor,
    scanMemory,
    repairDescriptor,
    virusNames,
};

} // namespace

} // namespace vz::savapi

extern "C" const AveModule* AVE_GetModule(std::uint32_t interfaceVersion)
{
    return interfaceVersion == AVE_INTERFACE_VERSION ? &vz::savapi::Module : nullptr;
}

extern "C" void AVE_GetCounters(AveCounters* counters)
{
    if (!counters)
        return;
    const vz::savapi::EngineCounters now = vz::savapi::engineCounters();
    *counters = AveCounters { now.enginesCompiled, now.filesScanned, now.cachedVerdicts };
}
