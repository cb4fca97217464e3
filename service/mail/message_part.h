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

private:
    struct LoadBudget {
        std::size_t partsLeft;
    };

    long loadWithin(std::string_view text, int depth, LoadBudget& budget);
    // Decodes text with the part's transfer decoder into the content buffer.
    bool setContent(std::string_view text);
    // Keeps text unchanged as content (a part beyond the limits, a broken header).
    bool setRawContent(std::string_view text);

    std::unique_ptr<char[]> m_content;
    std::size_t m_contentLength = 0;
    std::vector<std::unique_ptr<MessagePart>> m_children;
};

// The top-level part of a message.
class MailMessage : public MessagePart {
};

} // namespace vz::mail
