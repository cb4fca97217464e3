// The language manager's catalogs are UTF-8 text files named "<prefix>-<id>.lng":
//
//   # a comment
//   @id de-de
//   @language German
//   @sublanguage Germany
//   key = text
//   key with blanks = "  a text with leading blanks, \"quotes\" and\nline breaks"
//
// A key ends at the first "="; blanks around keys and unquoted texts are dropped.
// Escapes in texts: \n \t \" \\ . Lines that are neither are ignored.
#include "outside/qel_lang/qel_lang.h"

#include <atomic>
#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::u16string toUtf16(const std::string& s)
{
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 6 && i + 1 < s.size()) {
            cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
            len = 2;
        } else if ((c >> 4) == 14 && i + 2 < s.size()) {
            cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            len = 3;
        } else if ((c >> 3) == 30 && i + 3 < s.size()) {
            cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
            len = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string toUtf8(const char16_t* s)
{
    std::string out;
    for (; s && *s; ++s) {
        char32_t cp = *s;
        if (cp >= 0xD800 && cp < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
            ++s;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string trim(const std::string& s)
{
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string unescape(const std::string& raw)
{
    std::string v = trim(raw);
    bool quoted = v.size() >= 2 && v.front() == '"' && v.back() == '"';
    if (quoted)
        v = v.substr(1, v.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            char n = v[++i];
            out += n == 'n' ? '\n' : n == 't' ? '\t' : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

std::string lowerAscii(std::string s)
{
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

struct Catalog {
    std::u16string id, language, sublanguage;
    std::map<std::string, std::u16string> texts; // by key, as UTF-8
};

std::unique_ptr<Catalog> loadCatalog(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return nullptr;
    auto cat = std::make_unique<Catalog>();
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string t = trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        if (t[0] == '@') {
            auto sp = t.find(' ');
            std::string name = t.substr(1, sp == std::string::npos ? std::string::npos : sp - 1);
            std::string value = sp == std::string::npos ? std::string {} : trim(t.substr(sp + 1));
            if (name == "id")
                cat->id = toUtf16(lowerAscii(value));
            else if (name == "language")
                cat->language = toUtf16(value);
            else if (name == "sublanguage")
                cat->sublanguage = toUtf16(value);
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = trim(line.substr(0, eq));
        if (!key.empty())
            cat->texts[key] = toUtf16(unescape(line.substr(eq + 1)));
    }
    if (cat->id.empty())
        return nullptr;
    return cat;
}

struct Manager {
    std::vector<std::unique_ptr<Catalog>> catalogs;
    std::atomic<int> current { -1 };
};

std::mutex g_mutex;
std::vector<std::unique_ptr<Manager>> g_managers; // handle n is g_managers[n - 1]
const char16_t g_empty[] = u"";

Manager* manager(QelLangHandle h)
{
    std::lock_guard lock(g_mutex);
    if (h == 0 || h > g_managers.size())
        return nullptr;
    return g_managers[h - 1].get();
}

const Catalog* catalog(QelLangHandle h, int32_t index)
{
    Manager* m = manager(h);
    if (!m || index < 0 || static_cast<std::size_t>(index) >= m->catalogs.size())
        return nullptr;
    return m->catalogs[static_cast<std::size_t>(index)].get();
}

} // namespace

extern "C" {

QelLangHandle qelLangMan_create(const char16_t* folder, const char16_t* prefix, uint32_t)
{
    auto m = std::make_unique<Manager>();
    std::string dir = toUtf8(folder);
    std::string pre = lowerAscii(toUtf8(prefix));
    std::vector<std::string> files;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            std::string lower = lowerAscii(name);
            if (lower.rfind(pre, 0) == 0 && lower.size() > 4 && lower.substr(lower.size() - 4) == ".lng")
                files.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        if (auto c = loadCatalog(dir + "/" + f))
            m->catalogs.push_back(std::move(c));
    }
    std::lock_guard lock(g_mutex);
    g_managers.push_back(std::move(m));
    return static_cast<QelLangHandle>(g_managers.size());
}

int32_t qelLangMan_getLangCount(QelLangHandle h)
{
    Manager* m = manager(h);
    return m ? static_cast<int32_t>(m->catalogs.size()) : 0;
}

const char16_t* qelLangMan_getEnglishLangName(QelLangHandle h, int32_t index)
{
    const Catalog* c = catalog(h, index);
    return c ? c->language.c_str() : g_empty;
}

const char16_t* qelLangMan_getEnglishSubLangName(QelLangHandle h, int32_t index)
{
    const Catalog* c = catalog(h, index);
    return c ? c->sublanguage.c_str() : g_empty;
}

const char16_t* qelLangMan_getLangID(QelLangHandle h, int32_t index)
{
    const Catalog* c = catalog(h, index);
    return c ? c->id.c_str() : g_empty;
}

int32_t qelLangMan_findLangWithMatchingID(QelLangHandle h, const char16_t* id)
{
    Manager* m = manager(h);
    if (!m || !id)
        return -1;
    std::u16string wanted = toUtf16(lowerAscii(toUtf8(id)));
    for (std::size_t i = 0; i < m->catalogs.size(); ++i) {
        if (m->catalogs[i]->id == wanted)
            return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t qelLangMan_setCurrentLang(QelLangHandle h, int32_t index)
{
    Manager* m = manager(h);
    if (!m || index < 0 || static_cast<std::size_t>(index) >= m->catalogs.size())
        return -1;
    m->current.store(index);
    return 0;
}

const char16_t* qelLangMan_getLocalString(QelLangHandle h, const char16_t* key, const char16_t* defaultText)
{
    const char16_t* fallback = defaultText ? defaultText : g_empty;
    Manager* m = manager(h);
    if (!m || !key)
        return fallback;
    const Catalog* c = catalog(h, m->current.load());
    if (!c)
        return fallback;
    auto it = c->texts.find(toUtf8(key));
    return it == c->texts.end() ? fallback : it->second.c_str();
}

} // extern "C"
