#pragma once

#include "common/result.h"

#include <memory>
#include <string_view>

namespace vz {

// A library loaded by path at run time. Unloaded when its owner goes.
class SharedLibrary {
public:
    virtual ~SharedLibrary() = default;
    // The address of an exported entry point, or null when the library has none.
    virtual void* symbol(std::string_view name) const = 0;
};

// Loads libraries by path; the platform adapter implements it with the system loader.
class SharedLibraryLoader {
public:
    virtual ~SharedLibraryLoader() = default;
    virtual Result<std::unique_ptr<SharedLibrary>> load(std::string_view path) = 0;
};

} // namespace vz
