// Builds the definitions file ANTIVIR.VDF from the readable signature sources:
//   vz_vdf_compiler MANIFEST OUTPUT [--extract FOLDER]
// The manifest names the definitions date and version and, per section, a libclamav
// database file beside it with its repair rule. Every section is loaded into libclamav
// here, so a malformed line fails the build and not the engine. --extract also writes
// the plain databases (for comparisons with clamscan).
#include "outside/savapi/clamav_engine.h"
#include "outside/savapi/definitions_format.h"
#include "outside/savapi/regular_file.h"

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
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace vz::savapi;

constexpr std::size_t MaxNameBytes = 33; // the test records' name field with its zero

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

// A signature source: a regular file of a sensible size, read to its end and no
// further (a pipe or a device in its place fails at once).
std::string readFile(const fs::path& path)
{
    constexpr std::uint64_t MaxSourceBytes = 256ull << 20;
    const RegularFile file = openRegularFile(path.string());
    if (!file.valid())
        throw Failure { "cannot read " + path.string() + ": " + std::strerror(file.error) };
    if (file.size > MaxSourceBytes)
        throw Failure { "cannot read " + path.string() + ": larger than " + std::to_string(MaxSourceBytes) + " bytes" };
    std::string bytes;
    int error = 0;
    if (!readExactly(file.fd.get(), 0, static_cast<std::size_t>(file.size), bytes, error))
        throw Failure { "cannot read " + path.string() + ": " + (error ? std::strerror(error) : "it ended early") };
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

Definitions readManifest(const fs::path& manifest)
{
    Definitions definitions;
    std::istringstream lines(readFile(manifest));
    std::string line;
    DefinitionsSection* section = nullptr;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        line = trim(line);
        const std::string where = manifest.string() + ":" + std::to_string(number);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            definitions.sections.emplace_back();
            section = &definitions.sections.back();
            section->name = trim(line.substr(1, line.size() - 2));
            if (!isAcceptedDatabaseName(section->name))
                throw Failure { where + ": not a database name: " + section->name };
            section->data = readFile(manifest.parent_path() / section->name);
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
        throw Failure { manifest.string() + ": no date" };
    for (const auto& s : definitions.sections) {
        const bool rule = s.repairMethod != RepairMethod::None;
        if (s.repairable != rule || (rule && (s.beginMarker.empty() || s.endMarker.empty())))
            throw Failure { s.name + ": a repairable section needs its repair method and both markers" };
    }
    return definitions;
}

// Loads each section into libclamav and records how many signatures it holds.
void countSignatures(Definitions& definitions, const fs::path& folder)
{
    if (!startLibrary())
        throw Failure { "libclamav does not start" };
    std::set<std::string> names;
    for (auto& section : definitions.sections) {
        cl_engine* engine = cl_engine_new();
        if (!engine)
            throw Failure { "libclamav: out of memory" };
        const SectionLoad load = loadSection(engine, folder.string(), section);
        cl_engine_free(engine);
        if (!load.problem.empty())
            throw Failure { load.problem };
        const auto declared = signatureNames(section.name, section.data);
        if (load.signatures == 0 || load.signatures != declared.size())
            throw Failure { section.name + ": libclamav took " + std::to_string(load.signatures) + " of " + std::to_string(declared.size()) + " signatures" };
        for (const auto& name : declared) {
            if (name.size() > MaxNameBytes)
                throw Failure { section.name + ": name longer than " + std::to_string(MaxNameBytes) + " bytes: " + name };
            if (!names.insert(name).second)
                throw Failure { section.name + ": name used twice: " + name };
        }
        section.signatures = load.signatures;
    }
}

void writeReplacing(const fs::path& path, const std::string& bytes)
{
    const fs::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush())
            throw Failure { "cannot write " + temporary.string() };
    }
    fs::rename(temporary, path);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--extract")) {
        std::cerr << "usage: " << argv[0] << " MANIFEST OUTPUT [--extract FOLDER]\n";
        return 2;
    }
    std::string work;
    try {
        Definitions definitions = readManifest(argv[1]);
        std::string pattern = (fs::temp_directory_path() / "vz-vdf-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw Failure { "cannot make a temporary folder" };
        work = pattern;
        countSignatures(definitions, work);
        writeReplacing(argv[2], serializeDefinitions(definitions));
        if (argc == 5) {
            fs::create_directories(argv[4]);
            for (const auto& section : definitions.sections)
                writeReplacing(fs::path(argv[4]) / section.name, section.data);
        }
        fs::remove_all(work);
        return 0;
    } catch (const Failure& failure) {
        std::cerr << argv[0] << ": " << failure.text << "\n";
    } catch (const std::exception& e) {
        std::cerr << argv[0] << ": " << e.what() << "\n";
    }
    if (!work.empty()) {
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }
    return 1;
}
