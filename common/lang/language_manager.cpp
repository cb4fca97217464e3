#include "common/lang/language_manager.h"

#include "common/environment.h"
#include "common/lang/utf16.h"
#include "common/paths.h"
#include "common/text.h"
#include "outside/qel_lang/qel_lang.h"

namespace vz {

namespace {

// The lookup converts key and default into buffers of 1024 UTF-16 units each.
constexpr std::size_t ConversionUnits = 1023;

} // namespace

std::shared_ptr<LanguageManager> LanguageManager::start(const std::string& appDir, std::string_view wantedId, std::size_t slots)
{
    std::shared_ptr<LanguageManager> m(new LanguageManager);
    std::u16string folder = utf16::fromUtf8(paths::join(appDir, "Translation"));
    m->m_handle = qelLangMan_create(folder.c_str(), u"kvh", 0);

    int count = qelLangMan_getLangCount(m->m_handle);
    for (int i = count - 1; i >= 0 && m->m_lists.names.size() < slots; --i) {
        m->m_lists.names.push_back(utf16::toUtf8(qelLangMan_getEnglishLangName(m->m_handle, i)));
        m->m_lists.subNames.push_back(utf16::toUtf8(qelLangMan_getEnglishSubLangName(m->m_handle, i)));
        m->m_lists.ids.push_back(utf16::toUtf8(qelLangMan_getLangID(m->m_handle, i)));
    }

    m->m_wantedId = wantedId.empty() ? languageIdFromLocale(userLocaleName()) : std::string(wantedId);
    std::u16string id = utf16::fromUtf8(m->m_wantedId);
    int index = qelLangMan_findLangWithMatchingID(m->m_handle, id.c_str());
    if (index >= 0) {
        qelLangMan_setCurrentLang(m->m_handle, index);
        m->m_current = index;
    }
    return m;
}

std::string LanguageManager::localText(std::string_view key, std::string_view englishDefault) const
{
    std::u16string k = utf16::fromUtf8(key, ConversionUnits);
    std::u16string d = utf16::fromUtf8(englishDefault, ConversionUnits);
    return utf16::toUtf8(qelLangMan_getLocalString(m_handle, k.c_str(), d.c_str()));
}

std::string languageIdFromLocale(std::string_view localeName)
{
    // Cut the code set and the modifier: "de_DE.UTF-8@euro" -> "de_DE".
    auto end = localeName.find_first_of(".@");
    std::string_view base = localeName.substr(0, end);
    if (base.empty() || base == "C" || base == "POSIX")
        return {};
    auto sep = base.find_first_of("_-");
    std::string language = text::toLower(base.substr(0, sep));
    std::string country = sep == std::string_view::npos ? std::string {} : text::toLower(base.substr(sep + 1));
    if (language.size() < 2)
        return {};
    return country.empty() ? language : language + "-" + country;
}

std::string userLocaleName()
{
    for (const char* name : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        std::string v = environment::variable(name);
        if (!v.empty())
            return v;
    }
    return {};
}

} // namespace vz
