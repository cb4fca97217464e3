// The engine library SAVAPI.DLL: the eight entry points over the engine module.
#include "outside/savapi/savapi.h"

#include "outside/savapi/ave_module.h"
#include "outside/savapi/engine_settings.h"
#include "outside/savapi/module_file.h"
#include "outside/savapi/process_image.h"
#include "outside/savapi/regular_file.h"
#include "platform/dynlib/dynamic_library.h"
#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::savapi {

namespace {

constexpr std::uint32_t InterfaceNumber = 169;

// One started engine: the module stays loaded until its engine is gone.
class Instance {
public:
    Instance(platform::DynamicLibrary module, const AveModule* api, AveEngine* engine)
        : m_module(std::move(module)), m_api(api), m_engine(engine)
    {
    }
    ~Instance() { m_api->destroy(m_engine); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    const AveModule& api() const { return *m_api; }
    const AveEngine* engine() const { return m_engine; }

private:
    platform::DynamicLibrary m_module;
    const AveModule* m_api;
    AveEngine* m_engine;
};

// Engine handles are small numbers, as the programs keep them in 32-bit words. A call
// holds its own reference, so SAVAPI_Done on another thread never pulls the engine
// from under a test in progress: the last one out shuts it down.
class Handles {
public:
    std::uint32_t add(std::shared_ptr<const Instance> instance)
    {
        std::lock_guard lock(m_mutex);
        do
            ++m_next;
        while (m_next == 0 || m_instances.count(m_next));
        m_instances.emplace(m_next, std::move(instance));
        return m_next;
    }
    std::shared_ptr<const Instance> find(std::uint32_t handle) const
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_instances.find(handle);
        return it == m_instances.end() ? nullptr : it->second;
    }
    std::shared_ptr<const Instance> take(std::uint32_t handle)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_instances.find(handle);
        if (it == m_instances.end())
            return nullptr;
        auto instance = std::move(it->second);
        m_instances.erase(it);
        return instance;
    }

private:
    mutable std::mutex m_mutex;
    std::uint32_t m_next = 0;
    std::map<std::uint32_t, std::shared_ptr<const Instance>> m_instances;
};

Handles& handles()
{
    static Handles* table = new Handles; // never destroyed: calls may come late in exit
    return *table;
}

// Reads QelAv.SCH; a missing file means the defaults. Anything but a regular file
// of a sensible size is a settings file the engine cannot use.
bool readSettings(const char* path, EngineSettings& settings)
{
    constexpr std::uint64_t MaxSettingsBytes = 1u << 20;
    if (!path || !*path)
        return true;
    const RegularFile file = openRegularFile(path);
    if (!file.valid())
        return file.error == ENOENT;
    if (file.size > MaxSettingsBytes)
        return false;
    std::string text;
    int error = 0;
    return readExactly(file.fd.get(), 0, static_cast<std::size_t>(file.size), text, error) && parseEngineSettings(text, settings);
}

template<typename Record>
void clearResults(Record& record)
{
    record.resultFlags = 0;
    record.hasVirusName = 0;
    std::memset(record.virusName, 0, sizeof record.virusName);
    record.repairable = 0;
    record.errorCode = 0;
    record.errorDetail = 0;
    record.warningCode = 0;
}

template<typename Record>
int fill(Record& record, const AveResult& result)
{
    record.resultFlags = result.flags;
    record.repairable = result.repairable;
    record.errorCode = result.errorCode;
    record.errorDetail = result.errorDetail;
    record.warningCode = result.warningCode;
    const std::size_t length = ::strnlen(result.virusName, sizeof record.virusName - 1);
    std::memset(record.virusName, 0, sizeof record.virusName);
    std::memcpy(record.virusName, result.virusName, length);
    record.hasVirusName = length ? 1 : 0;
    return record.resultFlags;
}

AveResult error(std::uint16_t errorCode, int detail)
{
    AveResult r {};
    r.flags = code::FlagError;
    r.errorCode = errorCode;
    r.errorDetail = static_cast<std::uint16_t>(detail);
    return r;
}

AveResult warning(std::uint32_t warningCode)
{
    AveResult r {};
    r.flags = code::FlagWarning;
    r.warningCode = warningCode;
    return r;
}

bool pathFits(const SAVAPI_FILE_TEST& record)
{
    return ::memchr(record.filePath, '\0', sizeof record.filePath) != nullptr && record.filePath[0] != '\0';
}

// Opens the record's file for a test or a repair; answers a result when it cannot.
bool openForTest(const SAVAPI_FILE_TEST& record, int flags, platform::UniqueFd& file, AveResult& failure)
{
    if (!pathFits(record)) {
        failure = error(code::NotOpened, ENAMETOOLONG);
        return false;
    }
    file.reset(::open(record.filePath, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.valid()) {
        const int why = errno;
        // A file this user may not read is a warning of its own, not a broken file.
        failure = (why == EACCES || why == EPERM) && !(flags & O_RDWR) ? warning(code::WarningAccessDenied) : error(code::NotOpened, why);
        return false;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        failure = error(code::NotOpened, errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        failure = error(code::ReadError, EISDIR);
        return false;
    }
    // Devices and pipes never end or block: only regular files are tested.
    if (!S_ISREG(st.st_mode)) {
        failure = error(code::NotOpened, EINVAL);
        return false;
    }
    char probe;
    if (::pread(file.get(), &probe, 1, 0) < 0) {
        failure = error(code::ReadError, errno);
        return false;
    }
    return true;
}

AveResult testFile(const Instance& instance, const SAVAPI_FILE_TEST& record)
{
    platform::UniqueFd file;
    AveResult result {};
    if (!openForTest(record, O_RDONLY, file, result))
        return result;
    instance.api().scanDescriptor(instance.engine(), file.get(), record.filePath, record.options, &result);
    return result;
}

AveResult repairFile(const Instance& instance, const SAVAPI_FILE_TEST& record)
{
    constexpr std::uint16_t RepairAllowed = 0x1;
    if (!(record.options & RepairAllowed) || !(record.resultFlags & code::FlagVirus) || !record.hasVirusName)
        return error(code::NotRepairable, 0);
    const std::string name(record.virusName, ::strnlen(record.virusName, sizeof record.virusName));
    platform::UniqueFd file;
    AveResult result {};
    if (!openForTest(record, O_RDWR, file, result))
        return result;
    instance.api().repairDescriptor(instance.engine(), file.get(), name.c_str(), &result);
    return result;
}

AveResult testMemory(const Instance& instance, const SAVAPI_MEM_TEST& record)
{
    const std::uint64_t base = record.baseAddress64 ? record.baseAddress64 : record.baseAddress;
    const ProcessImage image = readProcessImage(record.processId, base, record.imageSize);
    switch (image.status) {
    case ProcessImage::Status::AccessDenied:
        return warning(code::WarningAccessDenied);
    case ProcessImage::Status::NotFound:
        return error(code::NotOpened, image.error);
    case ProcessImage::Status::ReadError:
        return error(code::ReadError, image.error);
    case ProcessImage::Status::Ok:
        break;
    }
    const std::string name = "pid:" + std::to_string(record.processId);
    AveResult result {};
    instance.api().scanMemory(instance.engine(), image.bytes.data(), image.bytes.size(), name.c_str(), record.options, &result);
    return result;
}

void fillInfo(SAVAPI_ENGINE_INFO& info, const AveDefinitionsInfo& definitions, const AveModule& module)
{
    std::memset(&info, 0, sizeof info);
    info.recordSize = sizeof info;
    info.engineMajor = definitions.engineVersion[0];
    info.engineMinor = definitions.engineVersion[1];
    info.engineBuildHigh = static_cast<std::uint8_t>(definitions.engineVersion[2] / 10);
    info.engineBuildLow = static_cast<std::uint8_t>(definitions.engineVersion[2] % 10);
    info.definitionsYear = definitions.year;
    info.definitionsMonth = definitions.month;
    info.definitionsDay = definitions.day;
    std::memcpy(info.definitionsVersion, definitions.version, sizeof info.definitionsVersion);
    std::memcpy(info.moduleVersion, module.moduleVersion, sizeof info.moduleVersion);
    info.knownViruses = definitions.signatures;
}

int init(const char* modulePath, const char* definitionsPath, const char* settingsPath, const std::uint8_t* initRecord,
    std::uint32_t interfaceNumber, std::uint32_t* handle, SAVAPI_ENGINE_INFO* info)
{
    if (!modulePath || !definitionsPath || !handle || !info || !initRecord || initRecord[0] != 1 || interfaceNumber != InterfaceNumber)
        return SAVAPI_INIT_BAD_ARGUMENTS;
    EngineSettings settings;
    if (!readSettings(settingsPath, settings))
        return SAVAPI_INIT_SETTINGS_INVALID;

    if (!isCompleteModule(modulePath))
        return SAVAPI_INIT_MODULE_UNUSABLE;
    // The module leaves its message callback with libclamav, which outlives it.
    auto module = platform::DynamicLibrary::open(modulePath, platform::DynamicLibrary::Unload::Never);
    if (!module)
        return SAVAPI_INIT_MODULE_UNUSABLE;
    const auto getModule = reinterpret_cast<AveGetModuleFn>(module->symbol("AVE_GetModule"));
    const AveModule* api = getModule ? getModule(AVE_INTERFACE_VERSION) : nullptr;
    if (!api || api->interfaceVersion != AVE_INTERFACE_VERSION)
        return SAVAPI_INIT_MODULE_UNUSABLE;

    const AveSettings aveSettings { settings.temporaryParent.c_str(), settings.maxFileSize, settings.maxScanSize, settings.maxRecursion, settings.maxFiles,
        settings.verdictCacheEntries };
    AveEngine* engine = nullptr;
    AveDefinitionsInfo definitions {};
    const int status = api->create(definitionsPath, &aveSettings, &engine, &definitions);
    if (status != AveOk)
        return status;
    auto instance = std::make_shared<const Instance>(std::move(*module), api, engine);
    fillInfo(*info, definitions, *api);
    *handle = handles().add(std::move(instance));
    return 0;
}

} // namespace

} // namespace vz::savapi

using namespace vz::savapi;

extern "C" {

int SAVAPI_Init(const char* modulePath, const char* definitionsPath, const char* settingsPath, std::uint32_t /*zero*/,
    const std::uint8_t* initRecord, std::uint32_t interfaceNumber, std::uint32_t /*zero2*/, std::uint32_t* handle,
    SAVAPI_ENGINE_INFO* info, std::uint32_t* /*unused*/)
{
    try {
        return init(modulePath, definitionsPath, settingsPath, initRecord, interfaceNumber, handle, info);
    } catch (const std::bad_alloc&) {
        return SAVAPI_INIT_ENGINE_FAILURE;
    }
}

int SAVAPI_Done(std::uint32_t handle)
{
    return handles().take(handle) ? 0 : 1;
}

int SAVAPI_TestFile(std::uint32_t handle, SAVAPI_FILE_TEST* record)
{
    if (!record)
        return code::FlagError;
    clearResults(*record);
    try {
        const auto instance = handles().find(handle);
        return fill(*record, instance ? testFile(*instance, *record) : error(code::EngineError, EBADF));
    } catch (const std::bad_alloc&) {
        return fill(*record, error(code::OutOfMemory, 0));
    }
}

int SAVAPI_RepairFile(std::uint32_t handle, SAVAPI_FILE_TEST* record)
{
    if (!record)
        return code::FlagError;
    try {
        const auto instance = handles().find(handle);
        const AveResult result = instance ? repairFile(*instance, *record) : error(code::EngineError, EBADF);
        if (result.flags & code::FlagError) {
            // The detection stays as it was; the error says why it is not repaired.
            record->resultFlags |= code::FlagError;
            record->errorCode = result.errorCode;
            record->errorDetail = result.errorDetail;
            return record->resultFlags;
        }
        record->resultFlags = 0;
        record->repairable = 0;
        record->errorCode = 0;
        record->errorDetail = 0;
        record->warningCode = 0;
        return 0;
    } catch (const std::bad_alloc&) {
        record->resultFlags |= code::FlagError;
        record->errorCode = code::OutOfMemory;
        return record->resultFlags;
    }
}

int SAVAPI_TestMemFile(std::uint32_t handle, SAVAPI_MEM_TEST* record)
{
    if (!record)
        return code::FlagError;
    clearResults(*record);
    try {
        const auto instance = handles().find(handle);
        return fill(*record, instance ? testMemory(*instance, *record) : error(code::EngineError, EBADF));
    } catch (const std::bad_alloc&) {
        return fill(*record, error(code::OutOfMemory, 0));
    }
}

int SAVAPI_InitThread(std::uint32_t handle)
{
    return handles().find(handle) ? 0 : 1;
}

int SAVAPI_DoneThread(std::uint32_t handle)
{
    return handles().find(handle) ? 0 : 1;
}

int SAVAPI_GetVirusList(std::uint32_t handle, char* buffer, std::uint32_t bufferSize, std::uint32_t* needed)
{
    const auto instance = handles().find(handle);
    if (!instance)
        return 1;
    const std::size_t size = instance->api().virusNames(instance->engine(), nullptr, 0);
    if (needed)
        *needed = static_cast<std::uint32_t>(size);
    if (!buffer || bufferSize < size)
        return 1;
    instance->api().virusNames(instance->engine(), buffer, bufferSize);
    return 0;
}

} // extern "C"
