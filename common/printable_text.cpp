#include "common/printable_text.h"

#include <cstdint>
#include <cstdio>

namespace vz {

namespace {

// The length of the valid UTF-8 sequence at `pos` and its code point; 0 when the byte
// there does not start one (overlong forms, surrogates and values past U+10FFFF are
// not valid).
std::size_t decode(std::string_view s, std::size_t pos, std::uint32_t& cp)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char b = byte(pos);
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    std::size_t len = 0;
    std::uint32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
        len = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (pos + len > s.size())
        return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

// Characters that move or end lines or change the direction of what follows.
bool isLayoutControl(std::uint32_t cp)
{
    return cp == 0x2028 || cp == 0x2029 || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E
        || cp == 0x200F || cp == 0x061C;
}

bool isControl(std::uint32_t cp)
{
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F);
}

std::string hex(const char* form, unsigned value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, form, value);
    return buf;
}

} // namespace

std::string printableText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        std::uint32_t cp = 0;
        std::size_t len = decode(text, pos, cp);
        if (len == 0) {
            out += hex("\\x%02x", static_cast<unsigned char>(text[pos]));
            ++pos;
            continue;
        }
        if (cp == '\\') {
            out += "\\\\";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (isControl(cp)) {
            for (std::size_t i = 0; i < len; ++i)
                out += hex("\\x%02x", static_cast<unsigned char>(text[pos + i]));
        } else if (isLayoutControl(cp)) {
            out += hex("\\u%04x", cp);
        } else {
            out.append(text.substr(pos, len));
        }
        pos += len;
    }
    return out;
}

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t pos = 0; pos < text.size();) {
        std::uint32_t cp = 0;
        std::size_t len = decode(text, pos, cp);
        if (len == 0) {
            out += hex("\\udc%02x", static_cast<unsigned char>(text[pos]));
            ++pos;
            continue;
        }
        switch (cp) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (isControl(cp) || isLayoutControl(cp))
                out += hex("\\u%04x", cp);
            else
                out.append(text.substr(pos, len));
        }
        pos += len;
    }
    return out + "\"";
}

} // namespace vz
