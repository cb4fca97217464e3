#pragma once

#include "common/atom_table.h"

#include <memory>
#include <string>

namespace vz::platform {

// The atom table as a folder: one file per atom holding its reference count. The
// folder is sticky and open to every user like /tmp, and an atom file is readable
// and writable by all, so any program can add, find and delete atoms, as with the
// machine-wide table it stands for. A write never follows a symbolic link, never
// goes into anything but a plain file with one name, and never into a folder that
// belongs to another user.
class FileAtomTable final : public AtomTable {
public:
    explicit FileAtomTable(std::string folder) : m_folder(std::move(folder)) {}

    Result<void> addAtom(std::string_view name) override;
    Result<bool> findAtom(std::string_view name) override;
    Result<void> deleteAtom(std::string_view name) override;

    const std::string& folder() const { return m_folder; }

    // The file name of an atom: lower case, bytes other than letters, digits, "-"
    // and "_" written as "%XX", so that no name reaches outside the folder.
    static std::string fileNameOf(std::string_view name);

private:
    std::string m_folder;
};

// The atom table of the runtime folder: its folder "atoms".
std::unique_ptr<AtomTable> openRuntimeAtomTable();

} // namespace vz::platform
