#include "service/mail/encoded_word.h"
#include "service/mail/mail_limits.h"
#include "service/mail/message_part.h"
#include "service/mail/part_header.h"
#include "service/mail/transfer_decoder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vz::mail {
namespace {

std::string decode(const TransferDecoder& decoder, std::string_view in)
{
    std::string out(decoder.sizeEstimate(in.size()) + 4, '\0');
    out.resize(decoder.decode(in, out.data(), out.size()));
    return out;
}

TEST(TransferDecoders, QuotedPrintableAndBase64Cases)
{
    struct Case {
        const char* encoding;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        { "quoted-printable", "=41=42", "AB" },
        { "quoted-printable", "soft=\r\nbreak", "softbreak" },
        { "quoted-printable", "ab=4", "ab" },             // "=4" at the very end stops
        { "quoted-printable", "=G1", "G1" },              // not a hex digit: "=" dropped
        { "quoted-printable", "=3d=3D", "==" },           // lower case works in second place
        { "quoted-printable", "a_b", "a_b" },
        { "QUOTED-PRINTABLE", "=", "" },
        { "base64", "QUJD", "ABC" },
        { "base64", "QUI=QUJD", "AB" },                  // "=" ends decoding
        { "Base64", "QU\r\nJD", "ABC" },                  // line ends are skipped
        { "base64", "QQ", "A" },                          // a partial group
        { "base64", "QUJ*D", "AB" },
        { "7bit", "=41\r\n", "=41\r\n" },
        { "", "as is", "as is" },
        { "x-uuencode", "=41", "=41" },
        { "base64 ", "QUJD", "QUJD" },                    // compared as a whole value
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " / " + c.in);
        EXPECT_EQ(decode(transferDecoderFor(c.encoding), c.in), c.out);
    }
}

TEST(TransferDecoders, SizeEstimatesAndCapacityAreKept)
{
    EXPECT_EQ(CopyDecoder {}.sizeEstimate(10), 10u);
    EXPECT_EQ(QuotedPrintableDecoder {}.sizeEstimate(10), 10u);
    EXPECT_EQ(Base64Decoder {}.sizeEstimate(10), 9u);
    EXPECT_EQ(Base64Decoder {}.sizeEstimate(3), 4u);

    const TransferDecoder* decoders[] = { &transferDecoderFor("7bit"), &transferDecoderFor("quoted-printable"),
        &transferDecoderFor("base64") };
    for (const TransferDecoder* decoder : decoders) {
        char out[4] = { 'x', 'x', 'x', 'x' };
        EXPECT_EQ(decoder->decode("QUJDQUJDQUJD=41=42=43", out, 2), 2u);
        EXPECT_EQ(out[2], 'x');
        EXPECT_EQ(decoder->decode("QUJD", out, 0), 0u);
    }
}

TEST(EncodedWords, DecodesAndJoinsWords)
{
    struct Case {
        std::string raw;
        std::string value;
        std::string charset;
    };
    const Case cases[] = {
        { "=?iso-8859-1?q?Hallo?= =?iso-8859-1?q?Welt?=", "HalloWelt", "iso-8859-1" },
        { "=?UTF-8?B?QUJD?=", "ABC", "UTF-8" },
        { "=?utf-8?Q?a_b=3F?=", "a_b?", "utf-8" },
        { "Re: =?x?q?A?= and =?y?q?B?=", "Re: A and B", "x" },   // only blanks are dropped
        { " =?x?q?A?= ", " A ", "x" },                          // leading and trailing blanks stay
        { "=?x?z?A?=", "=?x?z?A?=", "" },                        // unknown letter: plain text
        { "=?x?q", "=?x?q", "" },                                // incomplete
        { "=?x?q?", "=?x?q?", "" },                              // text would begin at the end
        { "=?x?b?QUJD", "ABC", "x" },                            // no "?=": text to the end
        { "plain", "plain", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        std::string charset;
        std::string value = decodeEncodedWords(c.raw, charset);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(charset, c.charset);
        EXPECT_LE(value.size(), c.raw.size());
    }
}

TEST(HeaderFields, LoadNameValueAndContinuationLines)
{
    struct Case {
        std::string text;
        std::size_t used;
        std::string name;
        std::string value;
    };
    const Case cases[] = {
        { "Subject: Hello\r\nX", 16, "Subject", "Hello" },
        { "To:\t  a@b\r\n", 11, "To", "a@b" },
        { "X-Long: one\r\n two\r\n\tthree\r\nY: z\r\n", 27, "X-Long", "one\r\n two\r\n\tthree" },
        { "no colon here\r\n", 15, "", "no colon here" },
        { " folded junk\r\nName : v\r\n", 24, "Name ", "v" },   // name kept unchanged
        { "\r\nSubject: x\r\n", 0, "", "" },                  // the blank line
        { "Subject: no line end", 0, "", "" },
        { "Subject: a\r\n continued without end", 0, "", "" },
        { "", 0, "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        HeaderField field;
        EXPECT_EQ(field.load(c.text), c.used);
        if (c.used) {
            EXPECT_EQ(field.name, c.name);
            EXPECT_EQ(field.value, c.value);
        }
    }
}

TEST(PartHeaders, FieldLookupMediaTypeAndParameters)
{
    PartHeader header;
    std::string text = "CONTENT-TYPE: TEXT/PLAIN; name=virus.exe\r\n"
                       "Content-Type: image/gif\r\n"
                       "content-disposition: attachment; filename=\"a b.exe\"\r\n"
                       "\r\nbody";
    ASSERT_EQ(header.load(text), static_cast<long>(text.size() - 4));
    ASSERT_EQ(header.fields().size(), 3u);
    ASSERT_NE(header.findField("content-type"), nullptr);
    EXPECT_EQ(header.findField("Content-Type")->value, "TEXT/PLAIN; name=virus.exe"); // the first match
    EXPECT_EQ(header.mediaTypeIndex(), MediaText);
    EXPECT_EQ(header.mainType(), "TEXT");
    EXPECT_EQ(header.attachmentName(), "virus");                   // ends at the full stop
    EXPECT_EQ(header.parameter("Content-Disposition", "filename"), "a b.exe");
    EXPECT_EQ(header.parameter("Content-Disposition", "name"), "");
    EXPECT_EQ(header.parameter("X-Missing", "name"), "");
    EXPECT_EQ(header.findField("X-Missing"), nullptr);
}

TEST(PartHeaders, MediaTypeIndexTable)
{
    struct Case {
        std::string field;
        int index;
        std::string mainType;
    };
    const Case cases[] = {
        { "", MediaText, "text" },                                  // missing field
        { "Content-Type:\r\n", MediaOther, "" },                    // present but empty
        { "Content-Type: image/png\r\n", MediaImage, "image" },
        { "Content-Type: Audio/x\r\n", MediaAudio, "Audio" },
        { "Content-Type: video/mp4\r\n", MediaVideo, "video" },
        { "Content-Type: application/pdf\r\n", MediaApplication, "application" },
        { "Content-Type: MULTIPART/mixed\r\n", MediaMultipart, "MULTIPART" },
        { "Content-Type: message/rfc822\r\n", MediaMessage, "message" },
        { "Content-Type: model/vrml\r\n", MediaOther, "model" },
        { "Content-Type: textual\r\n", MediaText, "textual" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        PartHeader header;
        ASSERT_GT(header.load(c.field + "\r\n"), 0);
        EXPECT_EQ(header.mediaTypeIndex(), c.index);
        EXPECT_EQ(header.mainType(), c.mainType);
    }
}

TEST(Parameters, QuotedUnquotedAndPassedOver)
{
    struct Case {
        std::string value;
        std::string parameter;
        std::string result;
    };
    const Case cases[] = {
        { "multipart/mixed; boundary=\"XyZ\"", "boundary", "XyZ" },
        { "text/plain; name=virus.exe", "name", "virus" },
        { "text/plain; name=\"virus.exe\"", "name", "virus.exe" },
        { "text/plain; NAME = x", "name", "" },          // the value starts right after "=": a blank ends it
        { "text/plain; Name=x", "name", "x" },
        { "text/plain;charset=us; name=y", "name", "y" },
        { "text/plain; filename=a; name=b", "name", "b" },
        { "text/plain; names=a; name=b", "name", "b" },
        { "text/plain; name=a;name=b", "name", "a" },
        { "text/plain; name=\"unterminated", "name", "" },
        { "text/plain; name=caf\xc3\xa9;", "name", "caf\xc3\xa9" },   // bytes of 128 and above belong
        { "text/plain; name=a@b", "name", "a" },
        { "text/plain name=x", "name", "" },             // no ";"
        { "text/plain; name", "name", "" },              // no "="
        { "text/plain; ;; name=\"\"", "name", "" },
        { "text/plain; name=\"a\\\"b\"", "name", "a\\" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(extractParameter(c.value, c.parameter), c.result);
    }
}

std::vector<std::string> leafContents(MessagePart& message)
{
    std::vector<MessagePart*> leaves;
    std::size_t n = message.collectLeaves(leaves);
    EXPECT_EQ(n, leaves.size());
    std::vector<std::string> out;
    for (auto* leaf : leaves)
        out.emplace_back(leaf->contentView());
    return out;
}

TEST(MessageParts, HeaderWithoutBlankLineGivesNothing)
{
    for (std::string text : { "Subject: x\r\nContent-Type: text/plain\r\n", "Subject: x\r\nBody", "Subject: x\r\n\r",
             "" }) {
        SCOPED_TRACE(text);
        MailMessage message;
        EXPECT_EQ(message.load(text), 0);
        EXPECT_EQ(message.contentLength(), 0u);
        EXPECT_EQ(message.content(), nullptr);
    }
}

TEST(MessageParts, SinglePartIsItsOwnLeaf)
{
    MailMessage message;
    std::string text = "Content-Transfer-Encoding: quoted-printable\r\n\r\n=41=42\r\n";
    EXPECT_EQ(message.load(text), static_cast<long>(text.size()));
    EXPECT_EQ(message.contentView(), "AB\r\n");
    EXPECT_EQ(message.content()[message.contentLength()], '\0');
    EXPECT_EQ(leafContents(message), std::vector<std::string> { "AB\r\n" });
}

TEST(MessageParts, MultipartBeginningWithTheDelimiter)
{
    std::string text = "Content-Type: multipart/mixed; boundary=\"XyZ\"\r\n"
                       "\r\n"
                       "--XyZ\r\n"
                       "Content-Type: text/plain\r\n"
                       "\r\n"
                       "first\r\n"
                       "--XyZ\r\n"
                       "Content-Type: application/octet-stream; name=\"v.exe\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n"
                       "\r\n"
                       "QUJD\r\n"
                       "--XyZ--\r\n"
                       "epilogue\r\n";
    MailMessage message;
    long used = message.load(text);
    EXPECT_EQ(used, static_cast<long>(text.size() - 10)); // up to the close-delimiter line
    EXPECT_EQ(message.contentLength(), 0u);
    ASSERT_EQ(message.children().size(), 2u);
    EXPECT_EQ(message.children()[0]->contentView(), "first");
    EXPECT_EQ(message.children()[1]->attachmentName(), "v.exe");
    EXPECT_EQ(message.children()[1]->contentView(), "ABC");
    EXPECT_EQ(leafContents(message), (std::vector<std::string> { "first", "ABC" }));
}

TEST(MessageParts, NestedMultipartsGiveInnermostLeaves)
{
    std::string text = "Content-Type: multipart/mixed; boundary=outer\r\n"
                       "\r\n"
                       "preamble\r\n"
                       "--outer\r\n"
                       "Content-Type: multipart/alternative; boundary=\"inner\"\r\n"
                       "\r\n"
                       "--inner\r\n"
                       "\r\n"
                       "one\r\n"
                       "--inner\r\n"
                       "Content-Type: text/html\r\n"
                       "\r\n"
                       "two\r\n"
                       "--inner--\r\n"
                       "--outer\r\n"
                       "Content-Type: message/rfc822\r\n"
                       "\r\n"
                       "Subject: inner\r\n\r\nbody\r\n"
                       "--outer\r\n"
                       "Content-Type: image/png; name=p.png\r\n"
                       "\r\n"
                       "png\r\n"
                       "--outer--\r\n";
    MailMessage message;
    EXPECT_EQ(message.load(text), static_cast<long>(text.size()));
    EXPECT_EQ(message.contentView(), "preamble\r\n"); // the CR LF before "--" stays with the content
    ASSERT_EQ(message.children().size(), 3u);
    EXPECT_EQ(message.children()[0]->children().size(), 2u);
    EXPECT_EQ(message.children()[1]->mediaTypeIndex(), MediaMessage);
    EXPECT_TRUE(message.children()[1]->children().empty()); // a message part stays content
    EXPECT_EQ(leafContents(message),
        (std::vector<std::string> { "one", "two", "Subject: inner\r\n\r\nbody", "png" }));

    message.clear();
    EXPECT_TRUE(message.children().empty());
    EXPECT_TRUE(message.fields().empty());
    EXPECT_EQ(message.content(), nullptr);
}

TEST(MessageParts, BrokenMultipartsKeepTheirText)
{
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> leaves;
    };
    const Case cases[] = {
        { "no boundary parameter", "Content-Type: multipart/mixed\r\n\r\n--x\r\n\r\nbody", { "--x\r\n\r\nbody" } },
        { "no delimiter in the body", "Content-Type: multipart/mixed; boundary=b\r\n\r\nbody", { "body" } },
        { "delimiter line without line end", "Content-Type: multipart/mixed; boundary=b\r\n\r\nx\r\n--b", { "x\r\n" } },
        { "no close delimiter", "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nA\r\n--b\r\n\r\nB", { "A", "B" } },
        { "part header never ends", "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nX: y\r\nevil\r\n--b--\r\n",
            { "X: y\r\nevil" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MailMessage message;
        EXPECT_GT(message.load(c.text), 0);
        EXPECT_EQ(leafContents(message), c.leaves);
    }
}

std::string nestedMultiparts(int depth)
{
    std::string head, tail;
    for (int i = 0; i < depth; ++i) {
        head += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "x\r\n\r\n--b" + std::to_string(i) + "x\r\n";
        tail = "\r\n--b" + std::to_string(i) + "x--\r\n" + tail;
    }
    return head + "Content-Type: text/plain\r\n\r\ndeep" + tail;
}

TEST(MessageParts, DeepNestingIsBoundedAndStillYieldsTheContent)
{
    MailMessage shallow;
    ASSERT_GT(shallow.load(nestedMultiparts(limits::MaxNestingDepth)), 0);
    EXPECT_EQ(leafContents(shallow), std::vector<std::string> { "deep" });

    // Beyond the bound the innermost multipart is not split, but its text is a leaf.
    MailMessage deep;
    ASSERT_GT(deep.load(nestedMultiparts(5000)), 0);
    auto leaves = leafContents(deep);
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_NE(leaves[0].find("deep"), std::string::npos);
}

TEST(MessageParts, PartCountIsBoundedAndTheRestIsKept)
{
    std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (std::size_t i = 0; i < limits::MaxParts + 5; ++i)
        text += "--b\r\n\r\n" + std::to_string(i) + "\r\n";
    text += "--b--\r\n";
    MailMessage message;
    EXPECT_EQ(message.load(text), static_cast<long>(text.size()));
    ASSERT_EQ(message.children().size(), limits::MaxParts + 1);
    EXPECT_EQ(message.children()[limits::MaxParts - 1]->contentView(), std::to_string(limits::MaxParts - 1));
    std::string rest(message.children().back()->contentView());
    EXPECT_EQ(rest.substr(0, 9), "\r\n" + std::to_string(limits::MaxParts) + "\r\n");
}

TEST(MessageParts, EveryBoundMetIsReported)
{
    auto manyParts = [] {
        std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
        for (std::size_t i = 0; i <= limits::MaxParts; ++i)
            text += "--b\r\n\r\nx\r\n";
        return text + "--b--\r\n";
    };
    auto manyFields = [] {
        std::string text;
        for (std::size_t i = 0; i <= limits::MaxFieldsPerHeader; ++i)
            text += "X-F: " + std::to_string(i) + "\r\n";
        return text + "\r\nbody\r\n";
    };
    const std::string longBoundary(limits::MaxBoundaryLength + 1, 'q');
    struct Case {
        const char* what;
        std::string text;
        unsigned bounds;
    };
    const Case cases[] = {
        { "within every bound", nestedMultiparts(limits::MaxNestingDepth), 0 },
        { "one level too deep", nestedMultiparts(limits::MaxNestingDepth + 1), limits::Bound::Depth },
        { "51 levels", nestedMultiparts(51), limits::Bound::Depth },
        { "one part too many", manyParts(), limits::Bound::Parts },
        { "one field too many", manyFields(), limits::Bound::Fields },
        { "boundary too long",
            "Content-Type: multipart/mixed; boundary=" + longBoundary + "\r\n\r\n--" + longBoundary + "\r\n\r\nx\r\n",
            limits::Bound::BoundaryLength },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MailMessage message;
        ASSERT_GT(message.load(c.text), 0);
        EXPECT_EQ(message.boundsMet(), c.bounds);
        EXPECT_EQ(limits::describeBounds(c.bounds).empty(), c.bounds == 0);
        message.clear();
        EXPECT_EQ(message.boundsMet(), 0u);
    }
}

TEST(MessageParts, ExtentsLocateEachPartInTheText)
{
    const std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                             "pre\r\n"
                             "--b\r\nContent-Type: text/plain\r\n\r\nfirst\r\nline\r\n"
                             "--b\r\nno header end"
                             "\r\n--b--\r\n";
    MailMessage message;
    ASSERT_GT(message.load(text), 0);
    ASSERT_EQ(message.children().size(), 2u);
    auto slice = [&](std::size_t from, std::size_t to) { return text.substr(from, to - from); };
    const auto& top = message.extent();
    EXPECT_EQ(slice(top.bodyBegin, top.contentEnd), "pre\r\n");
    const auto& first = message.children()[0]->extent();
    EXPECT_EQ(slice(first.begin, first.bodyBegin), "Content-Type: text/plain\r\n\r\n");
    EXPECT_EQ(slice(first.bodyBegin, first.contentEnd), "first\r\nline");
    const auto& raw = message.children()[1]->extent();
    EXPECT_EQ(raw.begin, raw.bodyBegin) << "a header that never ends is all content";
    EXPECT_EQ(slice(raw.bodyBegin, raw.contentEnd), "no header end");
}

TEST(MessageParts, SaveContentWritesExactlyTheDecodedBytes)
{
    test::TempDir dir;
    std::string big(1500, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    MailMessage message;
    ASSERT_GT(message.load("Content-Type: application/x\r\n\r\n" + big), 0);
    ASSERT_TRUE(message.saveContent(dir.file("out.bin")).ok());
    EXPECT_EQ(test::readAll(dir.file("out.bin")), big);

    // An existing file is truncated.
    MailMessage small;
    ASSERT_GT(small.load("X: y\r\n\r\nab"), 0);
    ASSERT_TRUE(small.saveContent(dir.file("out.bin")).ok());
    EXPECT_EQ(test::readAll(dir.file("out.bin")), "ab");

    MailMessage empty;
    ASSERT_GT(empty.load("X: y\r\n\r\n"), 0);
    EXPECT_TRUE(empty.saveContent(dir.file("none")).ok());
    EXPECT_FALSE(test::readAll(dir.file("none")).size());
    EXPECT_FALSE(small.saveContent(dir.file("missing/folder/f")).ok());
}

} // namespace
} // namespace vz::mail
