#pragma once

#include "common/lang/local_text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vz {

// How many languages each program's lists hold.
inline constexpr std::size_t WindowedProgramLanguageSlots = 30;
inline constexpr std::size_t ServiceLanguageSlots = 50;

// The three parallel lists the language menu shows, last catalog first.
struct LanguageLists {
    std::vector<std::string> names;
    std::vector<std::string> subNames;
    std::vector<std::string> ids;
};

// The texts of one program, in the language chosen at start-up, from the language
// manager's catalogs in the installation folder's Translation folder.
class LanguageManager final : public TextSource {
public:
    // Language start-up: reads the catalogs, fills the lists (at most `slots` entries),
    // and makes the wanted language current when a catalog has its ID. An empty
    // wanted ID is taken from the user's locale.
    static std::shared_ptr<LanguageManager> start(const std::string& appDir, std::string_view wantedId, std::size_t slots);

    std::string localText(std::string_view key, std::string_view englishDefault) const override;

    const LanguageLists& lists() const { return m_lists; }
    // The current language's index, -1 when the compiled defaults answer.
    int currentIndex() const { return m_current; }
    const std::string& wantedId() const { return m_wantedId; }

private:
    LanguageManager() = default;
    std::uint32_t m_handle = 0;
    LanguageLists m_lists;
    int m_current = -1;
    std::string m_wantedId;
};

// The language ID of a locale name: "de_DE.UTF-8" -> "de-de", "fr" -> "fr",
// "C"/"POSIX"/"" -> "" (no language of its own).
std::string languageIdFromLocale(std::string_view localeName);

// The user's locale for messages: the first set of LC_ALL, LC_MESSAGES and LANG.
std::string userLocaleName();

} // namespace vz
