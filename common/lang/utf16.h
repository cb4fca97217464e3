#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Conversions at the language manager's UTF-16 interface. The programs' own texts are
// UTF-8 (the Linux counterpart of the system code page).
namespace vz::utf16 {

// Invalid input becomes U+FFFD; at most maxUnits code units come out, never half a pair.
std::u16string fromUtf8(std::string_view s, std::size_t maxUnits = std::u16string::npos);
std::string toUtf8(std::u16string_view s);

} // namespace vz::utf16
