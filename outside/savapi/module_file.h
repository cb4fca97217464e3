#pragma once

#include <string>

namespace vz::savapi {

// Whether the engine module at path is a whole shared object of this machine: the
// loader maps a file cut short without complaint and only faults on first use of the
// missing part, so the module is checked before it is loaded.
bool isCompleteModule(const std::string& path);

} // namespace vz::savapi
