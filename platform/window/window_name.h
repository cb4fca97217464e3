#pragma once

#include <string>
#include <string_view>

namespace vz::platform {

// The socket file name of the window with this title. Titles are found without regard
// to case, so the name is lower case; bytes other than letters, digits, "-" and "_" are
// written "%XX". A name that would grow past 80 bytes keeps its first 48 and ends with
// "~" and a 64-bit hash of the whole lower-cased title, so that every socket path fits
// a socket address. The name ends with ".window". Empty for an empty title.
std::string windowSocketName(std::string_view title);

// folder + "/" + windowSocketName(title); empty for an empty title.
std::string windowSocketPath(std::string_view folder, std::string_view title);

} // namespace vz::platform
