#include "service/mail/transfer_decoder.h"

#include "common/text.h"
#include "service/mail/char_class.h"

#include <algorithm>
#include <cstring>

namespace vz::mail {

std::size_t CopyDecoder::sizeEstimate(std::size_t inputLength) const
{
    return inputLength;
}

std::size_t CopyDecoder::decode(std::string_view in, char* out, std::size_t capacity) const
{
    std::size_t n = std::min(in.size(), capacity);
    if (n > 0)
        std::memcpy(out, in.data(), n);
    return n;
}

std::size_t QuotedPrintableDecoder::sizeEstimate(std::size_t inputLength) const
{
    return inputLength;
}

std::size_t QuotedPrintableDecoder::decode(std::string_view in, char* out, std::size_t capacity) const
{
    std::size_t i = 0, o = 0;
    while (i < in.size() && o < capacity) {
        char c = in[i];
        if (c != '=') {
            out[o++] = c;
            ++i;
            continue;
        }
        if (in.size() - i - 1 < 2)
            break;
        char first = in[i + 1];
        char second = in[i + 2];
        if (isHexDigitClass(first)) {
            // The first digit must be upper case; the second is taken leniently, so
            // "=3d" decodes as well as "=3D".
            int high = first > '9' ? first - '7' : first - '0';
            int low = (second > '9' ? second - '7' : second - '0') & 0x0f;
            out[o++] = static_cast<char>((high << 4) | low);
            i += 3;
        } else if (first == '\r' && second == '\n') {
            i += 3; // soft line break
        } else {
            out[o++] = first;
            i += 2;
        }
    }
    return o;
}

std::size_t Base64Decoder::sizeEstimate(std::size_t inputLength) const
{
    return inputLength * 3 / 4 + 2;
}

namespace {

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

std::size_t Base64Decoder::decode(std::string_view in, char* out, std::size_t capacity) const
{
    std::size_t o = 0;
    unsigned long group = 0;
    int count = 0;
    auto put = [&](unsigned long byte) {
        if (o < capacity)
            out[o++] = static_cast<char>(byte & 0xff);
    };
    for (char c : in) {
        if (c == '\r' || c == '\n')
            continue;
        int v = base64Value(c);
        if (v < 0)
            break;
        group = (group << 6) | static_cast<unsigned long>(v);
        if (++count == 4) {
            put(group >> 16);
            put(group >> 8);
            put(group);
            group = 0;
            count = 0;
            if (o >= capacity)
                return o;
        }
    }
    // A partial group yields the bytes it completes.
    if (count == 2) {
        put(group >> 4);
    } else if (count == 3) {
        put(group >> 10);
        put(group >> 2);
    }
    return o;
}

const TransferDecoder& transferDecoderFor(std::string_view transferEncoding)
{
    static const CopyDecoder copy;
    static const QuotedPrintableDecoder quotedPrintable;
    static const Base64Decoder base64;
    if (text::equalsIgnoreCase(transferEncoding, "quoted-printable"))
        return quotedPrintable;
    if (text::equalsIgnoreCase(transferEncoding, "base64"))
        return base64;
    return copy;
}

} // namespace vz::mail
