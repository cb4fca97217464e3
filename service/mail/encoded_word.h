#pragma once

#include <string>
#include <string_view>

namespace vz::mail {

// Decodes the encoded words ("=?charset?B?...?=" and "=?charset?Q?...?=") of a raw
// field value. Blanks between two encoded words are dropped; other text is copied.
// The output is never longer than the raw value. The first encoded word's charset
// goes to charset (left unchanged when there is none).
std::string decodeEncodedWords(std::string_view raw, std::string& charset);

} // namespace vz::mail
