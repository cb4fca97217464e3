#pragma once

#include "common/processes.h"

#include <string>
#include <string_view>

namespace vz::platform {

// The process list of /proc: every numeric entry is a process; a process's first
// module is its program, the target of /proc/PID/exe; its image spans the program's
// mappings in /proc/PID/maps, from the lowest start to the highest end. Reading
// another user's exe link or maps needs the same rights as reading its memory, so
// what the engine could not read anyway gives nothing here.
class ProcProcessList final : public ProcessList {
public:
    explicit ProcProcessList(std::string procFolder = "/proc") : m_proc(std::move(procFolder)) {}

    Result<std::vector<std::uint32_t>> processIds(std::size_t maxCount) override;
    std::optional<std::string> firstModuleBaseName(std::uint32_t pid) override;
    std::optional<ProcessImage> moduleInformation(std::uint32_t pid) override;

private:
    std::optional<std::string> programPath(std::uint32_t pid) const;

    std::string m_proc;
};

// The image of `program` among the lines of a maps file: lowest start to highest end
// of the mappings whose path is exactly that program's; nothing when none is.
std::optional<ProcessImage> imageInMaps(std::string_view maps, std::string_view program);

} // namespace vz::platform
