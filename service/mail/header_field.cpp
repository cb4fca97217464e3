#include "service/mail/header_field.h"

#include "service/mail/char_class.h"
#include "service/mail/encoded_word.h"

namespace vz::mail {

std::size_t findCrLf(std::string_view text, std::size_t from)
{
    if (from >= text.size())
        return std::string_view::npos;
    return text.find("\r\n", from);
}

std::size_t HeaderField::load(std::string_view text)
{
    constexpr std::size_t npos = std::string_view::npos;
    std::size_t pos = 0;

    // Lines that begin with a space-class character are passed over; a CR there is
    // the blank line that ends the header.
    while (pos < text.size() && isSpaceClass(text[pos])) {
        if (text[pos] == '\r')
            return 0;
        std::size_t end = findCrLf(text, pos);
        if (end == npos)
            return 0;
        pos = end + 2;
    }
    if (pos >= text.size())
        return 0;

    std::size_t lineStart = pos;
    std::size_t colon = pos;
    while (colon < text.size() && text[colon] != ':' && text[colon] != '\r' && text[colon] != '\n')
        ++colon;
    if (colon < text.size() && text[colon] == ':') {
        name.assign(text.substr(lineStart, colon - lineStart));
        pos = colon + 1;
    } else {
        name.clear();
        pos = lineStart;
    }

    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;

    // The field runs on over continuation lines (lines that begin with a blank or tab).
    std::size_t end = findCrLf(text, pos);
    if (end == npos)
        return 0;
    while (end + 2 < text.size() && (text[end + 2] == '\t' || text[end + 2] == ' ')) {
        end = findCrLf(text, end + 2);
        if (end == npos)
            return 0;
    }

    charset.clear();
    value = decodeEncodedWords(text.substr(pos, end - pos), charset);
    return end + 2;
}

} // namespace vz::mail
