// vodazedad-vdf, the definitions compiler: builds the engine's definitions file
// ANTIVIR.VDF from libclamav databases (the distributed containers and plain database
// files), always with the built-in test signatures, or from a manifest of signature
// sources (what the build does). Every section is loaded into libclamav here, so a
// malformed line fails here and not in the engine.
#include "outside/savapi/clamav_engine.h"
#include "outside/savapi/builtin_signatures.h"
#include "outside/savapi/database_import.h"
#include "outside/savapi/definitions_format.h"
#include "outside/savapi/detection_names.h"
#include "outside/savapi/regular_file.h"

#include <algorithm>
#include <clamav.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace vz::savapi;

struct Failure {
    std::string text;
};

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::string readFile(const fs::path& path)
{
    std::string bytes;
    std::string problem;
    if (!readDatabaseFile(path.string(), bytes, problem))
        throw Failure { problem };
    return bytes;
}

std::string fromHex(const std::string& hex, const std::string& where)
{
    if (hex.empty() || hex.size() % 2)
        throw Failure { where + ": hexadecimal bytes expected" };
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = hex.substr(i, 2);
        const long v = std::strtol(pair.c_str(), &end, 16);
        if (*end)
            throw Failure { where + ": hexadecimal bytes expected" };
        bytes.push_back(static_cast<char>(v));
    }
    return bytes;
}

// Reads a manifest; read gives the bytes of a file beside it by name.
Definitions readManifest(const std::string& manifest, const std::function<std::string(const std::string&)>& read)
{
    Definitions definitions;
    std::istringstream lines(read(manifest));
    std::string line;
    DefinitionsSection* section = nullptr;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        line = trim(line);
        const std::string where = manifest + ":" + std::to_string(number);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            definitions.sections.emplace_back();
            section = &definitions.sections.back();
            section->name = trim(line.substr(1, line.size() - 2));
            if (!isAcceptedDatabaseName(section->name))
                throw Failure { where + ": not a database name: " + section->name };
            section->data = read(section->name);
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            throw Failure { where + ": name = value expected" };
        const std::string name = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        if (!section && name == "date") {
            unsigned y = 0, m = 0, d = 0;
            if (std::sscanf(value.c_str(), "%4u-%2u-%2u", &y, &m, &d) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
                throw Failure { where + ": date YYYY-MM-DD expected" };
            definitions.year = static_cast<std::uint16_t>(y);
            definitions.month = static_cast<std::uint8_t>(m);
            definitions.day = static_cast<std::uint8_t>(d);
        } else if (!section && name == "version") {
            unsigned v[4] {};
            if (std::sscanf(value.c_str(), "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]) != 4 || v[0] > 255 || v[1] > 255 || v[2] > 9 || v[3] > 9)
                throw Failure { where + ": version major.minor.buildhigh.buildlow expected" };
            for (int i = 0; i < 4; ++i)
                definitions.version[i] = static_cast<std::uint8_t>(v[i]);
        } else if (section && name == "repairable") {
            if (value != "yes" && value != "no")
                throw Failure { where + ": yes or no expected" };
            section->repairable = value == "yes";
        } else if (section && name == "repair") {
            if (value != "strip-appended-block")
                throw Failure { where + ": unknown repair method " + value };
            section->repairMethod = RepairMethod::StripAppendedBlock;
        } else if (section && name == "begin") {
            section->beginMarker = fromHex(value, where);
        } else if (section && name == "end") {
            section->endMarker = fromHex(value, where);
        } else {
            throw Failure { where + ": unknown setting " + name };
        }
    }
    if (definitions.year == 0)
        throw Failure { manifest + ": no date" };
    for (const auto& s : definitions.sections) {
        const bool rule = s.repairMethod != RepairMethod::None;
        if (s.repairable != rule || (rule && (s.beginMarker.empty() || s.endMarker.empty())))
            throw Failure { s.name + ": a repairable section needs its repair method and both markers" };
    }
    return definitions;
}

// Loads each section into libclamav and records how many signatures it holds. The
// sections of a manifest must name each signature once and have libclamav take every
// line; a user's databases are taken as libclamav takes them. In both, two detection
// names that would show as one record name are refused.
void countSignatures(Definitions& definitions, const fs::path& folder, std::size_t strictSections)
{
    std::set<std::string> names;
    std::unordered_map<std::string, std::string> shown; // record name -> detection name
    for (std::size_t n = 0; n < definitions.sections.size(); ++n) {
        auto& section = definitions.sections[n];
        const bool strict = n < strictSections;
        cl_engine* engine = cl_engine_new();
        if (!engine)
            throw Failure { "libclamav: out of memory" };
        const SectionLoad load = loadSection(engine, folder.string(), section);
        cl_engine_free(engine);
        if (!load.problem.empty())
            throw Failure { load.problem };
        const auto declared = signatureNames(section.name, section.data);
        if (strict && declaresDetectionNames(section.name) && (load.signatures == 0 || load.signatures != declared.size()))
            throw Failure { section.name + ": libclamav took " + std::to_string(load.signatures) + " of " + std::to_string(declared.size()) + " signatures" };
        for (const auto& name : declared) {
            if (strict && !names.insert(name).second)
                throw Failure { section.name + ": name used twice: " + name };
            const auto [it, added] = shown.emplace(recordName(name), name);
            if (!added && it->second != name)
                throw Failure { section.name + ": the names " + it->second + " and " + name + " would both show as " + it->first };
        }
        section.signatures = load.signatures;
    }
}

// Writes the file beside its final place and renames it over it, so that a reader sees
// the old or the new file whole. The new file is made afresh (never through a link).
void writeReplacing(const fs::path& path, const std::string& bytes)
{
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    // Built by appending: "." + name trips GCC 12's false restrict warning at -O3.
    std::string name(".");
    name.append(path.filename().string()).append(".XXXXXX");
    std::string temporary = (folder / name).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        throw Failure { "cannot write in " + folder.string() + ": " + std::strerror(errno) };
    std::size_t done = 0;
    bool written = ::fchmod(fd, 0644) == 0;
    while (written && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            done += static_cast<std::size_t>(n);
    }
    written = written && ::fsync(fd) == 0;
    const int error = errno;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int cause = written ? errno : error;
        ::unlink(temporary.c_str());
        throw Failure { "cannot write " + path.string() + ": " + std::strerror(cause) };
    }
}

std::string builtinFile(const std::string& name)
{
    for (std::size_t i = 0; i < BuiltinSignatureFileCount; ++i) {
        if (BuiltinSignatureFiles[i].name == name)
            return std::string(BuiltinSignatureFiles[i].bytes);
    }
    throw Failure { "built-in signatures: no " + name };
}

const char Usage[] = R"(Usage:
  vodazedad-vdf [OPTIONS] --output FILE [DATABASE|FOLDER]...
  vodazedad-vdf [OPTIONS] --output FILE --from FOLDER
  vodazedad-vdf MANIFEST.ini OUTPUT [--extract FOLDER]

Builds the scan engine's definitions file (ANTIVIR.VDF of the installation folder)
from libclamav signature databases, in one step.

A DATABASE is a distributed container (.cvd, .cld, .cud) or a plain database file
of a type libclamav loads: .ndb .hdb .hsb .mdb .msb .ldb .cdb .idb .imp (detection
signatures), .fp .sfp .ign .ign2 (allow and ignore lists), .ftm .pdb .gdb .wdb .crb
.pwdb .cfg .cat .yar .yara, and .cbc (bytecode). A FOLDER stands for every database in
it, as a folder of the signature updater holds them; other files there are left out
with a note. Where a .cvd and a .cld of one database lie side by side, the higher
version is taken.

Every container is checked by libclamav before it is unpacked: a .cvd by its digital
signature, a .cld (a .cvd the updater patched) by the signed list of its files' hashes
inside it. One that does not verify, and every .cud (unsigned by design), is refused
unless --allow-unsigned is given. Bytecode signatures are taken only from a container
that verified, and such a container is kept whole, so that the engine has libclamav
check it again at every start; a plain .cbc file is refused, bytecode in an unverified
container left out.

The built-in test signatures (the standard antivirus test file, the test program of
libclamav's test files, the repairable appended test block) are always written too,
unless --manifest names other signature sources.
Detection names longer than 33 bytes are shortened for the test records: the first
16 bytes, "~", 6 hexadecimal digits of the CRC-32 of the whole name, "~", the last 9
bytes. Two names that would shorten alike are refused.

The definitions are dated today (UTC) unless --date is given; their version is the
one of the built-in signatures. The output is written beside its place and renamed
over it, so that a running engine sees the old or the new file whole.

Options:
  -o, --output FILE     the definitions file to write (ANTIVIR.VDF)
  --from PATH           a database or a folder of databases; may be repeated, and
                        the same as naming it after the options
  --allow-unsigned      accept containers that are unsigned or do not verify (one's
                        own); they give no bytecode
  --date YYYY-MM-DD     the date of the definitions
  --manifest FILE       take date, version and sections from a manifest of signature
                        sources (date, version and per section its database beside
                        the manifest and its repair rule) instead of the built-in
                        test signatures; the build compiles its own this way
  --extract FOLDER      also write every section as a plain database file there
  -h, --help            show this text

Examples:
  vodazedad-vdf --from /var/lib/clamav --output /opt/vodazedad/ANTIVIR.VDF
  vodazedad-vdf -o ANTIVIR.VDF my-hashes.hdb my-bodies.ndb
  vodazedad-vdf --allow-unsigned -o ANTIVIR.VDF own.cvd

Exit status:
  0  the definitions file was written
  1  a database could not be read, verified or loaded; nothing was written
  2  wrong usage

Files:
  ANTIVIR.VDF           the definitions the engine of the installation folder loads
  /var/lib/clamav       where the signature updater keeps its databases
  TMPDIR                containers are unpacked in a private folder under it
)";

struct Arguments {
    std::string output;
    std::string manifest;
    std::string extract;
    std::string date;
    std::vector<std::string> databases;
    bool allowUnsigned = false;
    bool help = false;
};

// Answers false with a complaint on wrong usage.
bool parseArguments(int argc, char** argv, Arguments& a, std::string& complaint)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                complaint = arg + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            a.help = true;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(a.output))
                return false;
        } else if (arg == "--from") {
            std::string path;
            if (!value(path))
                return false;
            a.databases.push_back(path);
        } else if (arg == "--manifest") {
            if (!value(a.manifest))
                return false;
        } else if (arg == "--extract") {
            if (!value(a.extract))
                return false;
        } else if (arg == "--date") {
            if (!value(a.date))
                return false;
        } else if (arg == "--allow-unsigned") {
            a.allowUnsigned = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            complaint = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (a.help)
        return true;
    // The build's form: a manifest and the output.
    if (a.output.empty() && a.manifest.empty() && positional.size() == 2 && positional[0].ends_with(".ini")) {
        a.manifest = positional[0];
        a.output = positional[1];
        positional.clear();
    }
    a.databases.insert(a.databases.end(), positional.begin(), positional.end());
    if (a.output.empty()) {
        complaint = "no output file (--output)";
        return false;
    }
    return true;
}

void setDate(Definitions& definitions, const std::string& date)
{
    unsigned y = 0, m = 0, d = 0;
    if (date.empty()) {
        const std::time_t now = std::time(nullptr);
        std::tm utc {};
        ::gmtime_r(&now, &utc);
        y = static_cast<unsigned>(utc.tm_year + 1900);
        m = static_cast<unsigned>(utc.tm_mon + 1);
        d = static_cast<unsigned>(utc.tm_mday);
    } else if (std::sscanf(date.c_str(), "%4u-%2u-%2u", &y, &m, &d) != 3 || y < 1980 || m < 1 || m > 12 || d < 1 || d > 31) {
        throw Failure { "--date: YYYY-MM-DD expected" };
    }
    definitions.year = static_cast<std::uint16_t>(y);
    definitions.month = static_cast<std::uint8_t>(m);
    definitions.day = static_cast<std::uint8_t>(d);
}

// A folder of the process's own that is removed whatever happens.
struct WorkFolder {
    std::string path;
    ~WorkFolder()
    {
        if (!path.empty()) {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    }
};

int run(const Arguments& a)
{
    if (!startLibrary())
        throw Failure { "libclamav does not start" };
    WorkFolder work;
    std::string pattern = (fs::temp_directory_path() / "vz-vdf-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw Failure { "cannot make a temporary folder" };
    work.path = pattern;

    Definitions definitions;
    if (!a.manifest.empty()) {
        const fs::path manifest = a.manifest;
        definitions = readManifest(manifest.string(), [&](const std::string& name) {
            return readFile(name == manifest.string() ? manifest : manifest.parent_path() / name);
        });
    } else {
        definitions = readManifest(std::string(BuiltinManifestName), builtinFile);
    }
    if (!a.date.empty() || a.manifest.empty())
        setDate(definitions, a.date);
    const std::size_t strictSections = definitions.sections.size();

    if (!a.databases.empty()) {
        Import imported = importDatabases(a.databases, ImportOptions { a.allowUnsigned }, work.path + "/");
        for (const auto& note : imported.notes)
            std::cerr << "vodazedad-vdf: " << note << "\n";
        if (!imported.problem.empty())
            throw Failure { imported.problem };
        for (auto& section : imported.sections)
            definitions.sections.push_back(std::move(section));
    }
    countSignatures(definitions, work.path, strictSections);
    // The engine takes a definitions file that claims more than this for a corrupt one.
    constexpr std::size_t MaxDefinitionsFileBytes = std::size_t { 1 } << 30;
    const std::string bytes = serializeDefinitions(definitions);
    if (bytes.size() > MaxDefinitionsFileBytes)
        throw Failure { "the definitions would take " + std::to_string(bytes.size()) + " bytes, more than the engine loads (" + std::to_string(MaxDefinitionsFileBytes) + ")" };
    writeReplacing(a.output, bytes);
    if (!a.extract.empty()) {
        fs::create_directories(a.extract);
        for (const auto& section : definitions.sections)
            writeReplacing(fs::path(a.extract) / section.name, section.data);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    std::string complaint;
    if (!parseArguments(argc, argv, arguments, complaint)) {
        std::cerr << "vodazedad-vdf: " << complaint << "\n(vodazedad-vdf --help tells how to call it)\n";
        return 2;
    }
    if (arguments.help) {
        std::cout << Usage;
        return 0;
    }
    try {
        return run(arguments);
    } catch (const Failure& failure) {
        std::cerr << "vodazedad-vdf: " << failure.text << "\n";
    } catch (const std::exception& e) {
        std::cerr << "vodazedad-vdf: " << e.what() << "\n";
    }
    return 1;
}
