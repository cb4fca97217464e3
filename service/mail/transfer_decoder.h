#pragma once

#include <cstddef>
#include <string_view>

namespace vz::mail {

// Decodes a part's content or an encoded word. Each decoder states an upper bound of
// its output before decoding and never writes more than the capacity it is given.
class TransferDecoder {
public:
    virtual ~TransferDecoder() = default;
    virtual std::size_t sizeEstimate(std::size_t inputLength) const = 0;
    // Bytes written to out, at most capacity.
    virtual std::size_t decode(std::string_view in, char* out, std::size_t capacity) const = 0;
};

// "7bit": copies unchanged.
class CopyDecoder final : public TransferDecoder {
public:
    std::size_t sizeEstimate(std::size_t inputLength) const override;
    std::size_t decode(std::string_view in, char* out, std::size_t capacity) const override;
};

// "=XX" escapes and soft line breaks; "_" stays "_" (also in encoded words).
class QuotedPrintableDecoder final : public TransferDecoder {
public:
    std::size_t sizeEstimate(std::size_t inputLength) const override;
    std::size_t decode(std::string_view in, char* out, std::size_t capacity) const override;
};

// CR and LF skipped; any other character outside the alphabet ("=" too) ends decoding.
class Base64Decoder final : public TransferDecoder {
public:
    std::size_t sizeEstimate(std::size_t inputLength) const override;
    std::size_t decode(std::string_view in, char* out, std::size_t capacity) const override;
};

// The decoder for a Content-Transfer-Encoding value: "quoted-printable" and "base64"
// (whole value, any case) choose theirs, everything else copies.
const TransferDecoder& transferDecoderFor(std::string_view transferEncoding);

} // namespace vz::mail
