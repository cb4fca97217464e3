#include "outside/savapi/module_file.h"

#include "platform/linux/unique_fd.h"

#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::savapi {

bool isCompleteModule(const std::string& path)
{
    const platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!file.valid())
        return false;
    Elf64_Ehdr header {};
    struct stat st {};
    const bool read = ::fstat(file.get(), &st) == 0 && ::pread(file.get(), &header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
    if (!read || !S_ISREG(st.st_mode))
        return false;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_type != ET_DYN)
        return false;
    // The section headers come last in the file: a whole file reaches past them, and
    // every segment the loader maps lies within it.
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t sectionsEnd = header.e_shoff + std::uint64_t(header.e_shnum) * header.e_shentsize;
    const std::uint64_t segmentsEnd = header.e_phoff + std::uint64_t(header.e_phnum) * header.e_phentsize;
    return header.e_shoff != 0 && sectionsEnd <= size && segmentsEnd <= size;
}

} // namespace vz::savapi
