#pragma once

#include <string>

// The environment variables that relocate the system's machine-wide places, each
// named once here. Tests and self-contained runs set them; installed systems don't.
namespace vz::environment {

// Folder holding both registry hives (machine.db and user.db) instead of their homes.
inline constexpr const char* RegistryDirVariable = "VODAZEDAD_REGISTRY_DIR";
// Folder of window endpoints, the instance section and the atom table.
inline constexpr const char* RuntimeDirVariable = "VODAZEDAD_RUNTIME_DIR";
inline constexpr const char* DefaultRuntimeDir = "/run/vodazedad";

// The value of a variable, or empty when unset.
std::string variable(const char* name);

// The runtime folder: VODAZEDAD_RUNTIME_DIR when set and not empty, else /run/vodazedad.
// Never ends with "/".
std::string runtimeFolder();

} // namespace vz::environment
