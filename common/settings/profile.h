#pragma once

#include "common/registry.h"
#include "common/result.h"

#include <string>
#include <string_view>

namespace vz {

// The per-user profile of the windowed program: one registry key per section under
// the profile root. Numbers are REG_DWORD and read back only from a REG_DWORD value;
// texts are REG_SZ; a missing value or one of another type reads as the default.
class Profile {
public:
    static constexpr std::string_view Root = "Software\\Vantrelo\\Vantrelo VodaZedad";

    explicit Profile(Registry& registry) : m_registry(registry) {}

    int readInt(std::string_view section, std::string_view name, int defaultValue) const;
    std::string readString(std::string_view section, std::string_view name, std::string_view defaultValue) const;
    Result<void> writeInt(std::string_view section, std::string_view name, int value);
    Result<void> writeString(std::string_view section, std::string_view name, std::string_view value);

    Registry& registry() const { return m_registry; }

private:
    std::string sectionKey(std::string_view section) const;
    Registry& m_registry;
};

} // namespace vz
