#pragma once

#include <cstddef>
#include <string_view>

// The signature sources of the default definitions, built into the definitions
// compiler: the manifest and the databases it names.
namespace vz::savapi {

struct BuiltinFile {
    std::string_view name;
    std::string_view bytes;
};

inline constexpr std::string_view BuiltinManifestName = "definitions.ini";

extern const BuiltinFile BuiltinSignatureFiles[];
extern const std::size_t BuiltinSignatureFileCount;

} // namespace vz::savapi
