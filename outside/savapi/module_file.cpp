#include "outside/savapi/module_file.h"

#include "outside/savapi/regular_file.h"

#include <cstring>
#include <elf.h>

namespace vz::savapi {

bool isCompleteModule(const std::string& path)
{
    const RegularFile file = openRegularFile(path);
    if (!file.valid())
        return false;
    Elf64_Ehdr header {};
    std::string bytes;
    int error = 0;
    if (!readExactly(file.fd.get(), 0, sizeof header, bytes, error))
        return false;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_type != ET_DYN)
        return false;
    // The section headers come last in the file: a whole file reaches past them, and
    // every segment the loader maps lies within it.
    const std::uint64_t size = file.size;
    const std::uint64_t sectionsEnd = header.e_shoff + std::uint64_t(header.e_shnum) * header.e_shentsize;
    const std::uint64_t segmentsEnd = header.e_phoff + std::uint64_t(header.e_phnum) * header.e_phentsize;
    return header.e_shoff != 0 && sectionsEnd <= size && segmentsEnd <= size;
}

} // namespace vz::savapi
