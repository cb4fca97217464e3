// libFuzzer target: the mail parser and the rewrite of an infected message take any
// bytes without reading or writing outside their buffers.
#include "service/mail/encoded_word.h"
#include "service/mail/message_part.h"
#include "service/mail/message_rewrite.h"
#include "service/mail/part_header.h"
#include "service/mail/transfer_decoder.h"
#include "common/result.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace vz::mail;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void exerciseDecoders(std::string_view text)
{
    const TransferDecoder* decoders[] = { &transferDecoderFor("7bit"), &transferDecoderFor("QUOTED-PRINTABLE"),
        &transferDecoderFor("base64") };
    for (const TransferDecoder* decoder : decoders) {
        // Capacities below the estimate too: a decoder must stop at the capacity.
        for (std::size_t capacity : { std::size_t(0), std::size_t(1), text.size() / 2, decoder->sizeEstimate(text.size()) }) {
            std::unique_ptr<char[]> out(new char[capacity ? capacity : 1]);
            check(decoder->decode(text, out.get(), capacity) <= capacity);
        }
    }
    std::string charset;
    check(decodeEncodedWords(text, charset).size() <= text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact-size heap copy with no zero byte after it, so that AddressSanitizer
    // reports any read past the end.
    std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
    if (size)
        std::memcpy(buffer.get(), data, size);
    std::string_view text(buffer.get(), size);

    MailMessage message;
    long used = message.load(text);
    check(used <= static_cast<long>(size));

    std::vector<MessagePart*> leaves;
    check(message.collectLeaves(leaves) == leaves.size());
    std::vector<bool> infected;
    std::size_t previousEnd = 0;
    for (MessagePart* leaf : leaves) {
        // Leaves lie in the text, in order, one after the other.
        const MessagePart::Extent& extent = leaf->extent();
        check(extent.begin <= extent.bodyBegin && extent.bodyBegin <= extent.contentEnd && extent.contentEnd <= size);
        check(extent.begin >= previousEnd);
        previousEnd = extent.contentEnd;
        infected.push_back(size != 0 && (data[infected.size() % size] & 1) != 0);
        vz::ignoreError(leaf->attachmentName(), "only run for what the sanitizers see");
        vz::ignoreError(leaf->parameter("Content-Disposition", "filename"), "only run for what the sanitizers see");
        vz::ignoreError(leaf->mediaTypeIndex(), "only run for what the sanitizers see");
        vz::ignoreError(leaf->mainType(), "only run for what the sanitizers see");
        if (leaf->content())
            check(leaf->content()[leaf->contentLength()] == '\0');
    }
    for (const HeaderField& field : message.fields())
        vz::ignoreError(extractParameter(field.value, "name"), "only run for what the sanitizers see");

    exerciseDecoders(text.substr(0, 4096));
    const std::vector<RewriteCut> cuts = cutsForRewrite(text, leaves, infected);
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        check(cuts[i].begin < cuts[i].end && cuts[i].end <= size);
        check(i == 0 || cuts[i - 1].end <= cuts[i].begin);
    }
    std::string rewritten = rewriteInfectedMessage(text, "[notice]", cuts);
    vz::ignoreError(formatVirusNotice(text.substr(0, 64), text.substr(text.size() / 2)), "only run for what the sanitizers see");

    message.clear();
    check(message.children().empty() && message.contentLength() == 0 && message.fields().empty());
    return 0;
}
