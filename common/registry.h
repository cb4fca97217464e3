#pragma once

#include "common/result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vz {

// The two hives. Key paths use "\" between their parts as the system writes them
// ("SOFTWARE\vantrelo\Vantrelo Vodazedad"); keys and value names compare without
// regard to case.
enum class Hive { LocalMachine, CurrentUser };

// The value types the system uses, with their registry numbers.
enum class RegType : std::uint32_t { String = 1, Dword = 4 };

struct RegValue {
    RegType type = RegType::String;
    std::string text;         // REG_SZ
    std::uint32_t number = 0; // REG_DWORD

    static RegValue string(std::string s) { return RegValue { RegType::String, std::move(s), 0 }; }
    static RegValue dword(std::uint32_t n) { return RegValue { RegType::Dword, {}, n }; }
    bool operator==(const RegValue&) const = default;
};

enum class KeyAccess { Read, FullAccess };

// An open key. A key opened for reading refuses writes.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    virtual std::optional<RegValue> query(std::string_view name) const = 0;
    virtual Result<void> set(std::string_view name, const RegValue& value) = 0;
    virtual Result<void> remove(std::string_view name) = 0;
    // Every value of the key, in name order.
    virtual std::vector<std::pair<std::string, RegValue>> values() const = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // Opens an existing key. Full access is refused when this user cannot write the hive.
    virtual Result<std::unique_ptr<RegistryKey>> openKey(Hive, std::string_view path, KeyAccess) = 0;
    // Opens a key for full access, making it and its parents when missing.
    virtual Result<std::unique_ptr<RegistryKey>> createKey(Hive, std::string_view path) = 0;
};

// "HKLM\SOFTWARE\x" -> (LocalMachine, "SOFTWARE\x"); also HKCU and the long names.
std::optional<std::pair<Hive, std::string>> splitRootKey(std::string_view fullPath);

} // namespace vz
