#pragma once

#include "common/registry.h"
#include "common/result.h"

#include <memory>
#include <string>

namespace vz::platform {

// Where the two hive files live.
struct RegistryLocation {
    std::string machineHive; // machine.db
    std::string userHive;    // user.db

    // VODAZEDAD_REGISTRY_DIR/{machine,user}.db when the variable is set, else
    // /var/lib/vodazedad/machine.db and $XDG_CONFIG_HOME/vodazedad/user.db (XDG_CONFIG_HOME
    // defaults to ~/.config; the folders are made with the first write).
    static RegistryLocation fromEnvironment();
    static RegistryLocation inFolder(const std::string& folder);
};

// The registry on two SQLite hive files. Keys and value names compare without regard
// to case (ASCII); each write is one transaction, so two programs writing the same
// hive never corrupt or lose a value.
std::unique_ptr<Registry> openRegistry(const RegistryLocation& location);

} // namespace vz::platform
