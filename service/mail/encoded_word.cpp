#include "service/mail/encoded_word.h"

#include "common/text.h"
#include "service/mail/char_class.h"
#include "service/mail/transfer_decoder.h"

#include <algorithm>

namespace vz::mail {

namespace {

constexpr std::size_t npos = std::string_view::npos;

struct EncodedWord {
    std::string_view charset;
    char letter = 0;
    std::string_view text;
    std::size_t end = 0; // position after the "?=" (or the end of the value)
};

// Recognises an encoded word at pos: "=?" charset "?" letter "?" text, the text ending
// at the next "?=" or at the end of the value.
bool encodedWordAt(std::string_view raw, std::size_t pos, EncodedWord& word)
{
    if (raw.compare(pos, 2, "=?") != 0)
        return false;
    std::size_t charsetStart = pos + 2;
    std::size_t question = raw.find('?', charsetStart);
    if (question == npos || question + 2 >= raw.size() || raw[question + 2] != '?')
        return false;
    std::size_t textStart = question + 3;
    if (textStart >= raw.size())
        return false;
    std::size_t textEnd = raw.find("?=", textStart);
    word.charset = raw.substr(charsetStart, question - charsetStart);
    word.letter = text::toLowerAscii(raw[question + 1]);
    if (textEnd == npos) {
        word.text = raw.substr(textStart);
        word.end = raw.size();
    } else {
        word.text = raw.substr(textStart, textEnd - textStart);
        word.end = textEnd + 2;
    }
    return true;
}

bool onlySpaceClass(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), isSpaceClass);
}

} // namespace

std::string decodeEncodedWords(std::string_view raw, std::string& charset)
{
    const std::size_t capacity = raw.size();
    std::string out(capacity, '\0');
    std::size_t written = 0;
    bool charsetTaken = false;
    std::size_t pos = 0;
    auto append = [&](std::string_view s) {
        std::size_t n = std::min(s.size(), capacity - written);
        std::copy_n(s.data(), n, out.data() + written);
        written += n;
    };

    while (pos < raw.size() && written < capacity) {
        EncodedWord word;
        if (encodedWordAt(raw, pos, word) && (word.letter == 'b' || word.letter == 'q')) {
            if (!charsetTaken) {
                charset = std::string(word.charset);
                charsetTaken = true;
            }
            const TransferDecoder& decoder = word.letter == 'b'
                ? static_cast<const TransferDecoder&>(Base64Decoder {})
                : static_cast<const TransferDecoder&>(QuotedPrintableDecoder {});
            written += decoder.decode(word.text, out.data() + written, capacity - written);
            pos = word.end;
            continue;
        }
        // Plain text up to the next "=?" after this position.
        std::size_t next = raw.find("=?", pos + 1);
        std::size_t end = next == npos ? raw.size() : next;
        std::string_view plain = raw.substr(pos, end - pos);
        if (!(next != npos && pos != 0 && onlySpaceClass(plain)))
            append(plain);
        pos = end;
    }
    out.resize(written);
    return out;
}

} // namespace vz::mail
