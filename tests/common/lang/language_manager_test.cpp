#include "common/lang/language_manager.h"

#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace vz {

TEST(LanguageId, FromLocaleNames)
{
    struct Case {
        const char* locale;
        const char* id;
    } cases[] = {
        { "de_DE.UTF-8", "de-de" },
        { "en_US", "en-us" },
        { "pt_BR.ISO-8859-1@latin", "pt-br" },
        { "fr", "fr" },
        { "C", "" },
        { "C.UTF-8", "" },
        { "POSIX", "" },
        { "", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(languageIdFromLocale(c.locale), c.id) << c.locale;
}

TEST(LanguageId, UserLocaleTakesTheFirstSetVariable)
{
    test::ScopedEnv all("LC_ALL", "");
    test::ScopedEnv messages("LC_MESSAGES", "de_AT.UTF-8");
    test::ScopedEnv lang("LANG", "en_GB.UTF-8");
    EXPECT_EQ(userLocaleName(), "de_AT.UTF-8");
}

TEST(LanguageManager, ShippedGermanCatalogAnswersAndMissingKeysFallBack)
{
    auto m = LanguageManager::start(test::builtAppDir(), "DE-de", WindowedProgramLanguageSlots);
    ASSERT_GE(m->currentIndex(), 0);
    EXPECT_EQ(m->localText("never", "Never"), "Nie");
    EXPECT_EQ(m->localText("lspwarning", "x"), "Bitte starten Sie Ihr E-Mail-Programm neu, damit die Änderungen wirksam werden.");
    EXPECT_EQ(m->localText("no such key", "English default"), "English default");
    // Both shipped languages are listed, last catalog first.
    ASSERT_EQ(m->lists().ids.size(), 2u);
    EXPECT_EQ(m->lists().ids[0], "en-us");
    EXPECT_EQ(m->lists().ids[1], "de-de");
    EXPECT_EQ(m->lists().names[1], "German");
    EXPECT_EQ(m->lists().subNames[1], "Germany");
}

TEST(LanguageManager, LocaleChoosesTheLanguageWhenNoneIsStored)
{
    test::ScopedEnv all("LC_ALL", "de_DE.UTF-8");
    auto m = LanguageManager::start(test::builtAppDir(), "", ServiceLanguageSlots);
    EXPECT_EQ(m->wantedId(), "de-de");
    EXPECT_EQ(m->localText("speed1", "Recommended"), "Empfohlen");

    test::ScopedEnv c("LC_ALL", "C");
    auto english = LanguageManager::start(test::builtAppDir(), "", ServiceLanguageSlots);
    EXPECT_EQ(english->currentIndex(), -1);
    EXPECT_EQ(english->localText("speed1", "Recommended"), "Recommended");
}

TEST(LanguageManager, CatalogFormatAndListLimits)
{
    test::TempDir app;
    app.mkdir("Translation");
    app.write("Translation/kvh-xx-yy.lng",
        "# test\n@id XX-yy\n@language Xish\n@sublanguage Yland\r\n"
        "plain =  text with = sign  \n"
        "quoted = \"  two\\nlines \\\"q\\\"\"\n"
        "no separator line\n"
        "Scan settings = Sucheinstellungen\n");
    app.write("Translation/kvh-broken.lng", "key = value without id\n");
    app.write("Translation/other-zz.lng", "@id zz\n");
    app.write("Translation/kvh-aa.lng", "@id aa\n@language A\n");
    auto m = LanguageManager::start(app.path() + "/", "xx-YY", 30);
    ASSERT_GE(m->currentIndex(), 0);
    EXPECT_EQ(m->localText("plain", "d"), "text with = sign");
    EXPECT_EQ(m->localText("quoted", "d"), "  two\nlines \"q\"");
    EXPECT_EQ(m->localText("Scan settings", "d"), "Sucheinstellungen");
    EXPECT_EQ(m->lists().ids.size(), 2u); // a catalog without an ID and other prefixes are not languages

    auto one = LanguageManager::start(app.path() + "/", "aa", 1);
    EXPECT_EQ(one->lists().ids.size(), 1u);
    EXPECT_EQ(one->lists().ids[0], "xx-yy");

    // No Translation folder at all: defaults answer.
    test::TempDir empty;
    auto none = LanguageManager::start(empty.path() + "/", "de-de", 30);
    EXPECT_EQ(none->currentIndex(), -1);
    EXPECT_EQ(none->localText("never", "Never"), "Never");
}

} // namespace vz

namespace vz {

namespace {

std::set<std::string> catalogKeys(const std::string& file)
{
    std::set<std::string> keys;
    std::istringstream in(test::readAll(file));
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (line.empty() || line[0] == '#' || line[0] == '@' || eq == std::string::npos)
            continue;
        auto key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        keys.insert(key);
    }
    return keys;
}

} // namespace

TEST(Catalogs, EveryShippedLanguageHasEveryKey)
{
    auto english = catalogKeys(test::builtAppDir() + "Translation/kvh-en-us.lng");
    auto german = catalogKeys(test::builtAppDir() + "Translation/kvh-de-de.lng");
    EXPECT_GT(english.size(), 50u);
    for (const auto& k : english)
        EXPECT_TRUE(german.count(k)) << "German lacks " << k;
    for (const auto& k : german)
        EXPECT_TRUE(english.count(k)) << "English lacks " << k;
}

} // namespace vz
