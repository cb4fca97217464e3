#pragma once

#include "common/result.h"
#include "service/mail/part_header.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vz::mail {

// A part of a mail message: its header, its decoded content and, for a multipart,
// its child parts. A part owns all of them.
class MessagePart : public PartHeader {
public:
    MessagePart() = default;
    ~MessagePart() override = default;

    void clear() override;
    // Loads header, content and children from text (CR LF line ends). Answers the
    // bytes consumed, 0 when the header is incomplete, or a negative value when a
    // content buffer could not be allocated or a child failed. Never reads outside
    // text; zero bytes in it are ordinary data.
    long load(std::string_view text) override;

    // Appends the leaf parts in order and answers how many. A multipart with children
    // hands on its children's leaves; any other part (also a multipart whose body
    // could not be split) is a leaf itself.
    std::size_t collectLeaves(std::vector<MessagePart*>& list);

    // Writes the decoded content to path (created or truncated) in pieces of 512
    // bytes. Empty content writes nothing and succeeds.
    Result<void> saveContent(const std::string& path) const;

    // The decoded content, followed by one zero byte; null when there is none.
    const char* content() const { return m_content.get(); }
    std::size_t contentLength() const { return m_contentLength; }
    std::string_view contentView() const { return { m_content.get(), m_contentLength }; }

    const std::vector<std::unique_ptr<MessagePart>>& children() const { return m_children; }

    // Where the part lies in the text given to the top-level load, as offsets: its
    // first byte, the first byte of its body (after the blank line; the first byte of
    // the part when its header is incomplete) and the end of its content (the CR LF
    // before a multipart's first delimiter belongs to its content, the CR LF before
    // the delimiter that ends a child does not).
    struct Extent {
        std::size_t begin = 0;
        std::size_t bodyBegin = 0;
        std::size_t contentEnd = 0;
    };
    const Extent& extent() const { return m_extent; }

    // The bounds (limits::Bound bits) the last load met anywhere in the tree: what
    // lies beyond them was kept as raw content, so the parts are not the whole truth.
    unsigned boundsMet() const { return m_boundsMet; }

private:
    struct LoadBudget {
        std::size_t partsLeft;
        unsigned boundsMet = 0;
    };

    long loadWithin(std::string_view text, std::size_t base, int depth, LoadBudget& budget);
    // Keeps a part's text whole as its content (a part beyond the bounds, a header
    // that never ends).
    bool loadRaw(std::string_view text, std::size_t base);
    // Decodes text with the part's transfer decoder into the content buffer.
    bool setContent(std::string_view text);
    // Keeps text unchanged as content (a part beyond the limits, a broken header).
    bool setRawContent(std::string_view text);

    std::unique_ptr<char[]> m_content;
    std::size_t m_contentLength = 0;
    std::vector<std::unique_ptr<MessagePart>> m_children;
    Extent m_extent;
    unsigned m_boundsMet = 0;
};

// The top-level part of a message.
class MailMessage : public MessagePart {
};

} // namespace vz::mail
