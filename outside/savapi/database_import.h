#pragma once

#include "outside/savapi/definitions_format.h"

#include <string>
#include <vector>

// Turns the databases a libclamav user has into definitions sections: the signed
// containers (.cvd, .cld, .cud), unpacked by libclamav after it checked their digital
// signature, and the plain database files. A folder stands for the databases in it.
namespace vz::savapi {

struct ImportOptions {
    // Accepts containers whose signature is missing or does not verify (one's own).
    bool allowUnsigned = false;
};

struct Import {
    std::vector<DefinitionsSection> sections;
    std::vector<std::string> notes; // files left out, and why
    std::string problem;            // empty on success
};

// work is an empty folder of the caller's where containers are unpacked.
Import importDatabases(const std::vector<std::string>& paths, const ImportOptions& options, const std::string& work);

// A database file name as a section name: characters outside the plain set become '_'
// and a long name keeps its end (the extension picks libclamav's parser).
std::string sectionNameFor(const std::string& fileName);

// Reads a database file: a regular file of a sensible size, to its end and no further
// (a pipe or a device in its place fails at once).
bool readDatabaseFile(const std::string& path, std::string& bytes, std::string& problem);

// Whether a file name is one of the containers.
bool isContainerName(const std::string& fileName);

} // namespace vz::savapi
