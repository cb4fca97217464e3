#include "platform/dynlib/dynamic_library.h"

#include <dlfcn.h>
#include <utility>

namespace vz::platform {

Result<DynamicLibrary> DynamicLibrary::open(std::string_view path, Unload unload)
{
    const std::string file(path);
    // dlopen searches the library path for a bare name; the system loads by path only.
    if (file.find('/') == std::string::npos)
        return Error::withText("dlopen", "not a path: " + file);
    const int keep = unload == Unload::Never ? RTLD_NODELETE : 0;
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | keep);
    if (!handle) {
        const char* why = ::dlerror();
        return Error::withText("dlopen", why ? why : file);
    }
    return DynamicLibrary(handle);
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr))
{
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

DynamicLibrary::~DynamicLibrary()
{
    close();
}

void DynamicLibrary::close()
{
    if (m_handle)
        ::dlclose(std::exchange(m_handle, nullptr));
}

void* DynamicLibrary::symbol(std::string_view name) const
{
    if (!m_handle)
        return nullptr;
    return ::dlsym(m_handle, std::string(name).c_str());
}

Result<std::unique_ptr<SharedLibrary>> DynamicLibraryLoader::load(std::string_view path)
{
    auto library = DynamicLibrary::open(path);
    if (!library)
        return library.error();
    return std::unique_ptr<SharedLibrary>(std::make_unique<DynamicLibrary>(std::move(*library)));
}

} // namespace vz::platform
