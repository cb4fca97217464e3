#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vz::savapi {

// What a name libclamav reports stands for in a test record.
struct DetectionKind {
    std::uint16_t flags = 0;       // virus or warning
    std::uint32_t warningCode = 0; // for a warning
};

// Heuristic findings that mean "could not be tested" (encrypted content, limits) or
// "suspicious" (macros) are warnings; every other name is a detection.
DetectionKind classifyDetection(std::string_view name);

// The name as the test records show it: without ".UNOFFICIAL", at most 33 bytes. A
// longer name becomes its first 16 bytes, "~", six hexadecimal digits of the CRC-32 of
// the whole name, "~" and its last 9 bytes: the same name always gives the same record
// name, and the definitions compiler refuses a database where two names would meet.
std::string recordName(std::string_view name);

} // namespace vz::savapi
