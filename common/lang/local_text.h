#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vz {

// Longest text LocalText hands back, in bytes, as the system's one text buffer held.
inline constexpr std::size_t LocalTextMaxBytes = 255;

// Where LocalText takes its texts from: the language chosen at start-up.
class TextSource {
public:
    virtual ~TextSource() = default;
    // The key's text in the current language, else the default.
    virtual std::string localText(std::string_view key, std::string_view englishDefault) const = 0;
};

// The one text lookup of each program: the key's text in the language chosen at
// start-up, else the English default. Answers at most 255 bytes, never cutting a
// character. Safe to call from any thread; the answer is the caller's own copy.
std::string LocalText(std::string_view key, std::string_view englishDefault);

// Installs the source LocalText answers from (start-up, tests). Null: English defaults.
void installTextSource(std::shared_ptr<const TextSource> source);

} // namespace vz
