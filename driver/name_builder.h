#pragma once

#include "driver/filter_extension.h"
#include "driver/kernel_port.h"

#include <string>

namespace vz::driver {

inline constexpr std::size_t kMaxFullNameLength = 1023;

// The full name of an open as the guard service is told it: the drive letter of the
// volume filter device, a relative open's directory, and the network redirector's forms
// turned into drive-letter or UNC names. Never longer than 1023 characters; names that
// would be are replaced by the prefix and " <Name Too Long>".
std::string buildFullName(const FilterExtension& volume, const FileObject& file);

} // namespace vz::driver
