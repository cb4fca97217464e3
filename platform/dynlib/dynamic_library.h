#pragma once

#include "common/engine/shared_library.h"
#include "common/result.h"

#include <memory>
#include <string>
#include <string_view>

namespace vz::platform {

// Move-only owner of a library loaded with the system loader; unloads it when it goes.
class DynamicLibrary final : public SharedLibrary {
public:
    // Never: the code stays mapped after the last close, for a library that leaves
    // callbacks with another library that outlives it.
    enum class Unload { OnClose, Never };

    // Loads the library at path (never searched for: a path without "/" is refused).
    // Symbols are bound at once and kept local, so a library with an unresolved
    // reference fails here rather than on first use.
    static Result<DynamicLibrary> open(std::string_view path, Unload unload = Unload::OnClose);

    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    ~DynamicLibrary() override;

    void* symbol(std::string_view name) const override;

private:
    explicit DynamicLibrary(void* handle) : m_handle(handle) {}
    void close();

    void* m_handle = nullptr;
};

// Loads libraries with DynamicLibrary.
class DynamicLibraryLoader final : public SharedLibraryLoader {
public:
    Result<std::unique_ptr<SharedLibrary>> load(std::string_view path) override;
};

} // namespace vz::platform
