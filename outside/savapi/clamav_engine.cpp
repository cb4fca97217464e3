#include "outside/savapi/clamav_engine.h"

#include "outside/savapi/clamav_messages.h"
#include "outside/savapi/detection_names.h"
#include "outside/savapi/private_folder.h"
#include "outside/savapi/regular_file.h"
#include "platform/linux/unique_fd.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clamav.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace vz::savapi {

namespace {

using namespace code;

constexpr std::uint16_t OptionArchives = 0x8;
constexpr std::uint16_t OptionMacroHeuristics = 0x1000;
constexpr std::uint16_t OptionHeuristicsLow = 0x2000;
constexpr std::uint16_t OptionHeuristicsMedium = 0x4000;
constexpr std::uint16_t OptionHeuristicsHigh = 0x8000;
// The options that change what a test finds (repair and macro removal do not).
constexpr std::uint16_t DetectionOptions = OptionArchives | OptionMacroHeuristics | OptionHeuristicsLow | OptionHeuristicsMedium | OptionHeuristicsHigh;

std::atomic<std::uint64_t> enginesCompiled { 0 };
std::atomic<std::uint64_t> filesScanned { 0 };
std::atomic<std::uint64_t> cachedVerdicts { 0 };

// Everything libclamav can parse; archives only when asked. The heuristic levels add
// libclamav's heuristics from the least to the most prone to false alarms; the
// structured-data checks (card and social security numbers) alarm on ordinary
// binaries and stay off.
cl_scan_options scanOptions(std::uint16_t options)
{
    cl_scan_options s {};
    s.parse = ~0u;
    if (!(options & OptionArchives))
        s.parse &= ~static_cast<std::uint32_t>(CL_SCAN_PARSE_ARCHIVE);
    // Content that cannot be tested is always reported rather than passed as clean.
    s.heuristic = CL_SCAN_HEURISTIC_ENCRYPTED_ARCHIVE | CL_SCAN_HEURISTIC_ENCRYPTED_DOC;
    if (options & OptionMacroHeuristics)
        s.heuristic |= CL_SCAN_HEURISTIC_MACROS;
    if (options & (OptionHeuristicsLow | OptionHeuristicsMedium | OptionHeuristicsHigh))
        s.general |= CL_SCAN_GENERAL_HEURISTICS;
    if (options & (OptionHeuristicsMedium | OptionHeuristicsHigh))
        s.heuristic |= CL_SCAN_HEURISTIC_BROKEN | CL_SCAN_HEURISTIC_PHISHING_CLOAK | CL_SCAN_HEURISTIC_PARTITION_INTXN;
    if (options & OptionHeuristicsHigh) {
        s.general |= CL_SCAN_GENERAL_HEURISTIC_PRECEDENCE;
        s.heuristic |= CL_SCAN_HEURISTIC_PHISHING_SSL_MISMATCH | CL_SCAN_HEURISTIC_BROKEN_MEDIA | CL_SCAN_HEURISTIC_EXCEEDS_MAX;
    }
    return s;
}

AveResult errorResult(std::uint16_t errorCode, std::uint16_t detail)
{
    AveResult r {};
    r.flags = FlagError;
    r.errorCode = errorCode;
    r.errorDetail = detail;
    return r;
}

std::uint16_t errorCodeOf(cl_error_t status)
{
    switch (status) {
    case CL_EMEM:
        return OutOfMemory;
    case CL_EOPEN:
    case CL_ESTAT:
        return NotOpened;
    case CL_EREAD:
    case CL_ESEEK:
    case CL_EMAP:
        return ReadError;
    case CL_ETMPFILE:
    case CL_ETMPDIR:
        return TempNotOpened;
    case CL_EWRITE:
    case CL_EDUP:
        return TempWriteError;
    default:
        return EngineError;
    }
}

// Definitions larger than this are no file this engine would load: a header that
// claims more is corrupt, whatever the file holds.
constexpr std::uint64_t MaxDefinitionsBytes = 1ull << 30;

// Reads the definitions file, refusing when another writer holds it locked. Only a
// regular file is read, and only as many bytes as its header declares, once the file
// is known to hold them.
int readDefinitions(const std::string& path, std::string& bytes)
{
    const RegularFile file = openRegularFile(path);
    if (!file.valid())
        return AveDefinitionsMissing;
    const int fd = file.fd.get();
    // A writer replacing the file in place holds an exclusive lock while it writes.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? AveDefinitionsBusy : AveDefinitionsMissing;
    int error = 0;
    std::string header;
    if (!readExactly(fd, 0, static_cast<std::size_t>(std::min<std::uint64_t>(file.size, HeaderSize)), header, error))
        return error ? AveDefinitionsMissing : AveDefinitionsBusy;
    std::uint64_t declared = 0;
    switch (checkDefinitionsHeader(header, declared)) {
    case ParseStatus::Ok:
        break;
    case ParseStatus::Incomplete:
        return AveDefinitionsBusy;
    case ParseStatus::Corrupt:
        return AveDefinitionsCorrupt;
    }
    if (declared > MaxDefinitionsBytes || file.size > declared)
        return AveDefinitionsCorrupt;
    // Shorter than its header says: still being written.
    if (file.size < declared)
        return AveDefinitionsBusy;
    if (!readExactly(fd, 0, static_cast<std::size_t>(declared), bytes, error))
        return error ? AveDefinitionsMissing : AveDefinitionsBusy;
    return AveOk;
}

std::string temporaryParent(const AveSettings& settings)
{
    if (settings.temporaryParent && *settings.temporaryParent)
        return settings.temporaryParent;
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp)
        return tmp;
    return "/tmp";
}

bool writeWhole(const std::string& path, std::string_view data)
{
    platform::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file.valid())
        return false;
    const int fd = file.get();
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return ::close(file.release()) == 0 && done == data.size();
}

void parseVersion(const char* text, std::uint8_t (&out)[3])
{
    unsigned major = 0, minor = 0, patch = 0;
    if (text)
        std::sscanf(text, "%u.%u.%u", &major, &minor, &patch);
    out[0] = static_cast<std::uint8_t>(major);
    out[1] = static_cast<std::uint8_t>(minor);
    out[2] = static_cast<std::uint8_t>(patch);
}

// FNV-1a, to fold the context of the verdicts into one number.
std::uint64_t digest(std::uint64_t h, std::string_view bytes)
{
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

// The verdicts hold for these definitions (their header carries date, version, size
// and the checksum of their content), this libclamav and the settings that bound what
// a test looks at.
VerdictContext verdictContext(std::string_view definitionsHeader, const Definitions& definitions, const AveSettings& settings)
{
    VerdictContext context;
    std::uint64_t h = digest(1469598103934665603ull, definitionsHeader);
    h = digest(h, std::string_view("\0", 1));
    h = digest(h, cl_retver());
    // Raised with every change of this engine that may turn a verdict (what counts as
    // clean, the options given to libclamav), so that no older verdict outlives it.
    h = digest(h, "/rules 1/");
    const std::string limits = std::to_string(settings.maxFileSize) + "/" + std::to_string(settings.maxScanSize) + "/"
        + std::to_string(settings.maxRecursion) + "/" + std::to_string(settings.maxFiles);
    context.digest = digest(h, limits);
    context.year = definitions.year;
    context.month = definitions.month;
    context.day = definitions.day;
    std::memcpy(context.version, definitions.version, sizeof context.version);
    return context;
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::int64_t nanoseconds(const timespec& t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A file written within the granularity of its time stamps before the test began may
// be written again without its times moving. Only a file whose change time lies well
// before the test is cached: 100 ms where the file system keeps nanoseconds (the kernel
// stamps with a clock of a few milliseconds), 2 s where it keeps whole milliseconds or
// coarser.
bool settledBefore(const struct stat& st, std::int64_t startedNs)
{
    const std::int64_t changed = nanoseconds(st.st_ctim);
    const bool fine = st.st_ctim.tv_nsec % 1000000 != 0 || st.st_mtim.tv_nsec % 1000000 != 0;
    const std::int64_t margin = fine ? 100'000'000 : 2'000'000'000;
    return changed < startedNs - margin;
}

// Local file systems whose inode numbers stay and whose change time moves with every
// write, stamped in nanoseconds. Elsewhere the identity can be met by other content:
// FAT, exFAT, NTFS and optical media number their inodes by position on a medium that
// another medium can take the place of, network and FUSE file systems report what a
// server says, and an overlay's lower layer can change beneath it.
bool keepsIdentity(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<std::uint32_t>(fs.f_type)) {
    case 0xEF53u:     // ext2, ext3, ext4
    case 0x58465342u: // xfs
    case 0x9123683Eu: // btrfs
    case 0xF2F52010u: // f2fs
    case 0x2FC12FC1u: // zfs
    case 0x01021994u: // tmpfs
        return true;
    default:
        return false;
    }
}

} // namespace

EngineCounters engineCounters()
{
    return EngineCounters { enginesCompiled.load(), filesScanned.load(), cachedVerdicts.load() };
}

bool startLibrary()
{
    static bool started = [] {
        installMessageCapture();
        return cl_init(CL_INIT_DEFAULT) == CL_SUCCESS;
    }();
    return started;
}

SectionLoad loadSection(cl_engine* engine, const std::string& folder, const DefinitionsSection& section)
{
    SectionLoad load;
    if (!isAcceptedDatabaseName(section.name)) {
        load.problem = "not an accepted database name: " + section.name;
        return load;
    }
    const std::string file = folder + "/" + section.name;
    if (!writeWhole(file, section.data)) {
        load.problem = "cannot write " + file + ": " + std::strerror(errno);
        return load;
    }
    return loadWrittenSection(engine, file, section.name);
}

SectionLoad loadWrittenSection(cl_engine* engine, const std::string& file, const std::string& name)
{
    SectionLoad load;
    MessageCapture messages;
    // Loaded as official definitions: the names come back as written. Phishing lists
    // load only when asked for. Bytecode runs only from a signed container, whose
    // signature libclamav checks as it loads it.
    const unsigned options = CL_DB_OFFICIAL | CL_DB_PHISHING | CL_DB_PHISHING_URLS | CL_DB_BYTECODE;
    const cl_error_t status = cl_load(file.c_str(), engine, &load.signatures, options);
    ::unlink(file.c_str());
    if (status != CL_SUCCESS)
        load.problem = name + ": " + cl_strerror(status);
    else if (messages.hasErrors())
        load.problem = name + ": " + messages.errors().front();
    return load;
}

int ClamEngine::create(const std::string& definitionsPath, const AveSettings& settings, std::unique_ptr<ClamEngine>& out, AveDefinitionsInfo& info)
{
    if (!startLibrary())
        return AveEngineFailure;

    ParseResult parsed;
    std::string definitionsHeader;
    {
        std::string bytes;
        if (const int status = readDefinitions(definitionsPath, bytes); status != AveOk)
            return status;
        parsed = parseDefinitions(bytes);
        definitionsHeader = bytes.substr(0, HeaderSize);
        // The whole file goes at once: only the parsed sections are loaded.
    }
    if (parsed.status == ParseStatus::Incomplete)
        return AveDefinitionsBusy;
    if (parsed.status != ParseStatus::Ok)
        return AveDefinitionsCorrupt;
    Definitions& definitions = parsed.definitions;

    std::unique_ptr<ClamEngine> engine(new ClamEngine);
    engine->m_folder = PrivateFolder::make(temporaryParent(settings));
    if (!engine->m_folder)
        return AveTemporaryFolderUnusable;
    engine->m_settings = settings;
    engine->m_definitionsPath = definitionsPath;
    engine->m_definitionsHeader = definitionsHeader;
    for (const auto& section : definitions.sections) {
        if (!section.repairable || section.repairMethod == RepairMethod::None)
            continue;
        forEachSignatureName(section.name, section.data, [&](std::string_view name) {
            engine->m_rules[recordName(name)] = RepairRule { section.repairMethod, section.beginMarker, section.endMarker };
        });
    }

    // One engine for every test, repair and image, whatever the options.
    std::uint32_t loaded = 0;
    if (const int status = engine->build(definitions, loaded); status != AveOk)
        return status;

    if (settings.verdictCacheEntries) {
        engine->m_verdicts = std::make_unique<VerdictCache>(folderOf(definitionsPath), verdictContext(definitionsHeader, definitions, settings), settings.verdictCacheEntries);
        engine->m_verdicts->load();
    }

    info = AveDefinitionsInfo {};
    info.year = definitions.year;
    info.month = definitions.month;
    info.day = definitions.day;
    std::memcpy(info.version, definitions.version, sizeof info.version);
    info.signatures = loaded;
    parseVersion(cl_retver(), info.engineVersion);
    out = std::move(engine);
    return AveOk;
}

int ClamEngine::build(Definitions& definitions, std::uint32_t& signatures)
{
    cl_engine* built = cl_engine_new();
    if (!built)
        return AveEngineFailure;
    struct Owner {
        cl_engine* engine;
        ~Owner()
        {
            if (engine)
                cl_engine_free(engine);
        }
    } owner { built };

    MessageCapture messages;
    // libclamav's clean-file cache knows a file's content but not the options it was
    // tested with (a file found clean with archives off would stay clean with them on):
    // it stays off, and the verdict cache, which keys by options, takes its place.
    bool configured = cl_engine_set_str(built, CL_ENGINE_TMPDIR, m_folder->path().c_str()) == CL_SUCCESS
        && cl_engine_set_num(built, CL_ENGINE_DISABLE_CACHE, 1) == CL_SUCCESS;
    if (m_settings.maxFileSize)
        configured = configured && cl_engine_set_num(built, CL_ENGINE_MAX_FILESIZE, static_cast<long long>(m_settings.maxFileSize)) == CL_SUCCESS;
    if (m_settings.maxScanSize)
        configured = configured && cl_engine_set_num(built, CL_ENGINE_MAX_SCANSIZE, static_cast<long long>(m_settings.maxScanSize)) == CL_SUCCESS;
    if (m_settings.maxRecursion)
        configured = configured && cl_engine_set_num(built, CL_ENGINE_MAX_RECURSION, m_settings.maxRecursion) == CL_SUCCESS;
    if (m_settings.maxFiles)
        configured = configured && cl_engine_set_num(built, CL_ENGINE_MAX_FILES, m_settings.maxFiles) == CL_SUCCESS;
    if (!configured)
        return AveSettingsInvalid;

    // Every section goes to disk first and its bytes are freed, so that libclamav builds
    // its tables while this engine holds none of the definitions' bytes any more. Each
    // has a folder of its own: two sections may carry one name.
    std::vector<std::string> written;
    for (std::size_t i = 0; i < definitions.sections.size(); ++i) {
        DefinitionsSection& section = definitions.sections[i];
        if (!isAcceptedDatabaseName(section.name))
            return AveDefinitionsCorrupt;
        const std::string folder = m_folder->path() + "/s" + std::to_string(i);
        if (::mkdir(folder.c_str(), 0700) != 0)
            return AveTemporaryFolderUnusable;
        written.push_back(folder + "/" + section.name);
        if (!writeWhole(written.back(), section.data))
            return AveTemporaryFolderUnusable;
        std::string().swap(section.data);
    }
    std::uint32_t loaded = 0;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const DefinitionsSection& section = definitions.sections[i];
        const SectionLoad load = loadWrittenSection(built, written[i], section.name);
        ::rmdir(written[i].substr(0, written[i].rfind('/')).c_str());
        // libclamav accepts a database it did not understand with no signatures: the
        // count must be the one the definitions declare.
        if (!load.problem.empty() || load.signatures != section.signatures)
            return AveDefinitionsCorrupt;
        loaded += load.signatures;
    }
    if (cl_engine_compile(built) != CL_SUCCESS)
        return AveEngineFailure;
    ++enginesCompiled;
    signatures = loaded;
    m_engine = built;
    owner.engine = nullptr;
    return AveOk;
}

ClamEngine::~ClamEngine()
{
    if (m_verdicts)
        m_verdicts->save();
    if (m_engine)
        cl_engine_free(m_engine);
    // The private folder goes after the engine, which may still hold files in it.
}

AveResult ClamEngine::interpret(int statusValue, const char* virusName, bool loggedErrors) const
{
    const auto status = static_cast<cl_error_t>(statusValue);
    AveResult r {};
    if (status == CL_VIRUS && (!virusName || !*virusName)) {
        // libclamav alerts without a name only when it left a file untested for its
        // size limits (with the limits heuristic on): the file could not be tested,
        // which is no infection.
        r.flags = FlagWarning;
        r.warningCode = WarningLimitsExceeded;
        return r;
    }
    if (status == CL_VIRUS) {
        const std::string name = recordName(virusName);
        // By the full name: a shortened one may have lost the kind's prefix.
        const DetectionKind kind = classifyDetection(virusName);
        r.flags = kind.flags;
        r.warningCode = kind.warningCode;
        if (kind.flags == FlagVirus)
            r.repairable = ruleFor(name) ? 1 : 0;
        std::memcpy(r.virusName, name.c_str(), name.size() + 1);
        return r;
    }
    if (status == CL_CLEAN || status == CL_BREAK) {
        // libclamav answers "clean" when it could not do its work (no temporary
        // folder, for one) and only logs why: that is an error, never clean.
        if (!loggedErrors)
            return r;
        if (::access(m_folder->path().c_str(), W_OK | X_OK) != 0)
            return errorResult(TempNotOpened, static_cast<std::uint16_t>(errno));
        return errorResult(EngineError, 0);
    }
    // The codes of the record's table carry an errno as their detail, and libclamav
    // does not say which one: 0 then, never its own error number read as an errno.
    const std::uint16_t errorCode = errorCodeOf(status);
    return errorResult(errorCode, errorCode == EngineError ? static_cast<std::uint16_t>(status) : 0);
}

AveResult ClamEngine::scanDescriptor(int fd, const char* name, std::uint16_t options) const
{
    // Only a regular file has an identity that a write is sure to change.
    struct stat before {};
    const bool cacheable = m_verdicts && ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) && keepsIdentity(fd);
    const VerdictKey key { cacheable ? FileIdentity::of(before) : FileIdentity {}, static_cast<std::uint16_t>(options & DetectionOptions) };
    if (cacheable && m_verdicts->isClean(key)) {
        ++cachedVerdicts;
        return AveResult {};
    }
    timespec started {};
    ::clock_gettime(CLOCK_REALTIME, &started);

    cl_scan_options scan = scanOptions(options);
    const char* found = nullptr;
    unsigned long scanned = 0;
    MessageCapture messages;
    const cl_error_t status = cl_scandesc_callback(fd, name, &found, &scanned, m_engine, &scan, &messages);
    ++filesScanned;
    const AveResult r = interpret(status, found, messages.hasErrors());

    // Clean, and the file the same after the test as before it.
    struct stat after {};
    if (cacheable && r.flags == 0 && settledBefore(before, nanoseconds(started)) && ::fstat(fd, &after) == 0
        && FileIdentity::of(after) == key.file && m_verdicts->addClean(key))
        m_verdicts->save();
    return r;
}

AveResult ClamEngine::scanMemory(const void* data, std::size_t size, const char* name, std::uint16_t options) const
{
    cl_fmap_t* map = cl_fmap_open_memory(data, size);
    if (!map)
        return errorResult(OutOfMemory, 0);
    cl_scan_options scan = scanOptions(options);
    const char* found = nullptr;
    unsigned long scanned = 0;
    MessageCapture messages;
    const cl_error_t status = cl_scanmap_callback(map, name, &found, &scanned, m_engine, &scan, &messages);
    AveResult r = interpret(status, found, messages.hasErrors());
    cl_fmap_close(map);
    return r;
}

const ClamEngine::RepairRule* ClamEngine::ruleFor(std::string_view virusName) const
{
    const auto it = m_rules.find(recordName(virusName));
    return it == m_rules.end() ? nullptr : &it->second;
}

AveResult ClamEngine::repairDescriptor(int fd, std::string_view virusName) const
{
    const RepairRule* rule = ruleFor(virusName);
    if (!rule || rule->method != RepairMethod::StripAppendedBlock)
        return errorResult(NotRepairable, 0);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return errorResult(ReadError, static_cast<std::uint16_t>(errno));
    std::string content;
    int error = 0;
    // A file that ends early (cut since its test) has no errno: detail 0.
    if (!readExactly(fd, 0, static_cast<std::size_t>(st.st_size), content, error))
        return errorResult(ReadError, static_cast<std::uint16_t>(error));

    // Cut appended blocks from the end (a file infected twice carries two) until the
    // rest is clean; the file is changed only once that is certain.
    std::size_t keep = content.size();
    for (int round = 0; round < 16; ++round) {
        const std::string_view rest(content.data(), keep);
        if (rest.size() < rule->endMarker.size() || rest.substr(rest.size() - rule->endMarker.size()) != rule->endMarker)
            return errorResult(NotRepairable, 0);
        const std::size_t begin = rest.rfind(rule->beginMarker);
        if (begin == std::string_view::npos || begin + rule->beginMarker.size() > rest.size() - rule->endMarker.size())
            return errorResult(NotRepairable, 0);
        keep = begin;
        const AveResult check = scanMemory(content.data(), keep, "repair", OptionArchives);
        if (check.flags & FlagError)
            return check;
        // A rest that could not be tested (limits, encryption) is not known clean.
        if (check.flags & FlagWarning)
            return errorResult(NotRepairable, 0);
        if (!(check.flags & FlagVirus))
            break;
        if (!ruleFor(check.virusName) || ruleFor(check.virusName) != rule)
            return errorResult(NotRepairable, 1);
        if (round == 15)
            return errorResult(NotRepairable, 1);
    }
    if (::ftruncate(fd, static_cast<off_t>(keep)) != 0)
        return errorResult(WriteError, static_cast<std::uint16_t>(errno));
    if (::fsync(fd) != 0)
        return errorResult(WriteError, static_cast<std::uint16_t>(errno));
    AveResult r {};
    const std::string shown = recordName(virusName);
    std::memcpy(r.virusName, shown.c_str(), shown.size() + 1);
    return r;
}

std::string ClamEngine::virusNames() const
{
    // Only the definitions this engine loaded answer: a file replaced since gives none.
    std::string bytes;
    if (readDefinitions(m_definitionsPath, bytes) != AveOk || bytes.substr(0, HeaderSize) != m_definitionsHeader)
        return {};
    ParseResult parsed = parseDefinitions(bytes);
    std::string().swap(bytes);
    if (parsed.status != ParseStatus::Ok)
        return {};
    std::string all;
    for (const auto& section : parsed.definitions.sections) {
        forEachSignatureName(section.name, section.data, [&](std::string_view name) {
            all.append(name);
            all.push_back('\n');
        });
    }
    return all;
}

} // namespace vz::savapi
