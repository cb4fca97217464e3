#include "outside/savapi/database_import.h"

#include "outside/savapi/regular_file.h"

#include <algorithm>
#include <clamav.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace vz::savapi {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view Containers[] { ".cvd", ".cld", ".cud" };

bool endsWith(const std::string& s, std::string_view suffix)
{
    return s.size() >= suffix.size() && std::string_view(s).substr(s.size() - suffix.size()) == suffix;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The regular files directly in a folder, by name; links and other kinds are left out.
std::vector<fs::path> filesIn(const fs::path& folder, std::vector<std::string>& notes)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.symlink_status().type() == fs::file_type::regular)
            files.push_back(entry.path());
        else
            notes.push_back(entry.path().string() + ": left out, not a regular file");
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

struct Importer {
    const ImportOptions& options;
    const std::string& work;
    Import result;
    int unpacked = 0;

    bool fail(std::string problem)
    {
        if (result.problem.empty())
            result.problem = std::move(problem);
        return false;
    }

    bool addPlain(const fs::path& file)
    {
        const std::string name = lower(file.filename().string());
        if (endsWith(name, ".cbc"))
            return fail(file.string() + ": bytecode signatures are taken only from a database whose digital signature verifies (a .cvd), never from a plain or unsigned file");
        DefinitionsSection section;
        section.name = sectionNameFor(name);
        std::string problem;
        if (!readDatabaseFile(file.string(), section.data, problem))
            return fail(problem);
        result.sections.push_back(std::move(section));
        return true;
    }

    bool addContainer(const fs::path& file)
    {
        // libclamav checks and unpacks a copy in the work folder: what it checked is
        // what is unpacked and kept. The copy keeps the extension, which tells
        // libclamav the kind of container.
        const std::string id = std::to_string(++unpacked);
        const fs::path copyFolder = fs::path(work) / ("container-" + id);
        const fs::path into = fs::path(work) / ("unpacked-" + id);
        fs::create_directory(copyFolder);
        fs::create_directory(into);
        const fs::path copy = copyFolder / lower(file.filename().string());
        std::string bytes;
        std::string problem;
        if (!readDatabaseFile(file.string(), bytes, problem))
            return fail(problem);
        if (!writeFile(copy, bytes))
            return fail("cannot write " + copy.string());
        // libclamav's own check: the digital signature of a .cvd; for a .cld (a .cvd
        // the updater patched) the signed list of its files' hashes inside. A .cud is
        // unsigned by design.
        const bool unsignedByDesign = endsWith(copy.string(), ".cud");
        const bool verified = !unsignedByDesign && cl_cvdverify(copy.c_str()) == CL_SUCCESS;
        if (!verified && !options.allowUnsigned) {
            if (unsignedByDesign)
                return fail(file.string() + ": an unsigned database (.cud); --allow-unsigned takes it (for one's own databases)");
            return fail(file.string() + ": its digital signature is missing or does not verify; --allow-unsigned takes it anyway (for one's own databases)");
        }
        if (const cl_error_t status = cl_cvdunpack(copy.c_str(), into.c_str(), true); status != CL_SUCCESS)
            return fail(file.string() + ": cannot unpack: " + cl_strerror(status));
        const std::vector<fs::path> inside = filesIn(into, result.notes);
        // A verified container with bytecode stays whole, so that the engine checks its
        // signature again whenever it loads it.
        const bool bytecode = std::any_of(inside.begin(), inside.end(), [](const fs::path& f) { return endsWith(lower(f.filename().string()), ".cbc"); });
        if (verified && bytecode) {
            DefinitionsSection section;
            section.name = sectionNameFor(lower(file.filename().string()));
            section.data = std::move(bytes);
            result.sections.push_back(std::move(section));
            return true;
        }
        for (const auto& inner : inside) {
            const std::string name = lower(inner.filename().string());
            if (endsWith(name, ".cbc")) {
                result.notes.push_back(file.string() + ": " + inner.filename().string() + " left out, bytecode from an unverified database");
                continue;
            }
            if (!isAcceptedDatabaseName(sectionNameFor(name)) || isContainerName(name)) {
                // Every container describes itself in a .info file and carries its licence.
                if (!endsWith(name, ".info") && name != "copying")
                    result.notes.push_back(file.string() + ": " + inner.filename().string() + " left out, not a signature type the engine loads");
                continue;
            }
            if (!addPlain(inner))
                return false;
        }
        return true;
    }

    // One file named by the user: a container, a plain database or a mistake.
    bool addFile(const fs::path& file)
    {
        if (isContainerName(file.filename().string()))
            return addContainer(file);
        const std::string name = lower(file.filename().string());
        if (!endsWith(name, ".cbc") && !isAcceptedDatabaseName(sectionNameFor(name)))
            return fail(file.string() + ": not a database type the engine loads");
        return addPlain(file);
    }

    // The databases of a folder. Where both a .cvd and a .cld of one database lie there
    // (an update in progress), the higher version is taken.
    bool addFolder(const fs::path& folder)
    {
        std::map<std::string, std::pair<fs::path, unsigned>> newest;
        std::vector<fs::path> plain;
        for (const auto& file : filesIn(folder, result.notes)) {
            const std::string name = file.filename().string();
            if (isContainerName(name)) {
                cl_cvd* head = cl_cvdhead(file.c_str());
                if (!head)
                    return fail(file.string() + ": not a database container");
                const unsigned version = head->version;
                cl_cvdfree(head);
                const std::string stem = lower(file.stem().string());
                auto it = newest.find(stem);
                if (it == newest.end() || version > it->second.second) {
                    if (it != newest.end())
                        result.notes.push_back(it->second.first.string() + ": left out, " + name + " is newer");
                    newest[stem] = { file, version };
                } else {
                    result.notes.push_back(file.string() + ": left out, an equal or newer version lies beside it");
                }
            } else if (endsWith(lower(name), ".cbc") || isAcceptedDatabaseName(sectionNameFor(lower(name)))) {
                plain.push_back(file);
            } else {
                result.notes.push_back(file.string() + ": left out, not a database type the engine loads");
            }
        }
        for (const auto& [stem, chosen] : newest) {
            if (!addContainer(chosen.first))
                return false;
        }
        for (const auto& file : plain) {
            if (!addPlain(file))
                return false;
        }
        return true;
    }
};

} // namespace

bool isContainerName(const std::string& fileName)
{
    const std::string name = lower(fileName);
    return std::any_of(std::begin(Containers), std::end(Containers), [&](std::string_view e) { return name.size() > e.size() && endsWith(name, e); });
}

std::string sectionNameFor(const std::string& fileName)
{
    constexpr std::size_t MaxSectionName = 64;
    std::string name = fileName;
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!plain)
            c = '_';
    }
    if (!name.empty() && name.front() == '.')
        name.front() = '_';
    if (name.size() > MaxSectionName)
        name = name.substr(name.size() - MaxSectionName);
    if (!name.empty() && name.front() == '.')
        name.front() = '_';
    return name;
}

bool readDatabaseFile(const std::string& path, std::string& bytes, std::string& problem)
{
    // As large as the engine would ever load as definitions.
    constexpr std::uint64_t MaxSourceBytes = 1ull << 30;
    const RegularFile file = openRegularFile(path);
    if (!file.valid()) {
        problem = "cannot read " + path + ": " + std::strerror(file.error);
        return false;
    }
    if (file.size > MaxSourceBytes) {
        problem = "cannot read " + path + ": larger than " + std::to_string(MaxSourceBytes) + " bytes";
        return false;
    }
    int error = 0;
    if (!readExactly(file.fd.get(), 0, static_cast<std::size_t>(file.size), bytes, error)) {
        problem = "cannot read " + path + ": " + (error ? std::strerror(error) : "it ended early");
        return false;
    }
    return true;
}

Import importDatabases(const std::vector<std::string>& paths, const ImportOptions& options, const std::string& work)
{
    Importer importer { options, work, {} };
    for (const auto& path : paths) {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        const bool ok = fs::is_directory(status) ? importer.addFolder(path) : importer.addFile(path);
        if (!ok)
            break;
    }
    return std::move(importer.result);
}

} // namespace vz::savapi
