#include "service/mail/message_part.h"

#include "service/mail/mail_limits.h"
#include "service/mail/transfer_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>

namespace vz::mail {

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::size_t findFrom(std::string_view text, std::string_view what, std::size_t from)
{
    if (from >= text.size())
        return npos;
    return text.find(what, from);
}

} // namespace

void MessagePart::clear()
{
    m_children.clear();
    m_content.reset();
    m_contentLength = 0;
    m_extent = {};
    m_boundsMet = 0;
    PartHeader::clear();
}

long MessagePart::load(std::string_view text)
{
    LoadBudget budget { limits::MaxParts };
    long result = loadWithin(text, 0, 0, budget);
    m_boundsMet = budget.boundsMet;
    return result;
}

bool MessagePart::loadRaw(std::string_view text, std::size_t base)
{
    m_extent = { base, base, base + text.size() };
    return setRawContent(text);
}

bool MessagePart::setContent(std::string_view text)
{
    m_content.reset();
    m_contentLength = 0;
    if (text.empty())
        return true;
    const HeaderField* encoding = findField("Content-Transfer-Encoding");
    const TransferDecoder& decoder = transferDecoderFor(encoding ? std::string_view(encoding->value) : std::string_view {});
    std::size_t capacity = decoder.sizeEstimate(text.size()) + 4;
    m_content.reset(new (std::nothrow) char[capacity]);
    if (!m_content)
        return false;
    // Leave room for the zero byte after the content.
    m_contentLength = decoder.decode(text, m_content.get(), capacity - 1);
    m_content[m_contentLength] = '\0';
    return true;
}

bool MessagePart::setRawContent(std::string_view text)
{
    m_content.reset();
    m_contentLength = 0;
    if (text.empty())
        return true;
    m_content.reset(new (std::nothrow) char[text.size() + 1]);
    if (!m_content)
        return false;
    m_contentLength = CopyDecoder {}.decode(text, m_content.get(), text.size());
    m_content[m_contentLength] = '\0';
    return true;
}

long MessagePart::loadWithin(std::string_view text, std::size_t base, int depth, LoadBudget& budget)
{
    m_extent = { base, base, base };
    long headerLength = PartHeader::load(text);
    if (fieldsDropped())
        budget.boundsMet |= limits::Bound::Fields;
    if (headerLength <= 0)
        return headerLength;
    const std::size_t bodyStart = static_cast<std::size_t>(headerLength);

    m_content.reset();
    m_contentLength = 0;
    m_children.clear();

    // A multipart nested deeper than the bound keeps its body as content.
    std::string boundary = mediaTypeIndex() == MediaMultipart ? this->boundary() : std::string {};
    const bool tooLong = boundary.size() > limits::MaxBoundaryLength;
    const bool tooDeep = depth >= limits::MaxNestingDepth;
    if (!boundary.empty() && tooLong)
        budget.boundsMet |= limits::Bound::BoundaryLength;
    else if (!boundary.empty() && tooDeep)
        budget.boundsMet |= limits::Bound::Depth;
    const bool multipart = !boundary.empty() && !tooLong && !tooDeep;
    const std::string delimiter = "\r\n--" + boundary;

    // The search starts two bytes before the body, so that a body that begins at once
    // with the dash-boundary line is found (the blank line's CR LF is its CR LF).
    std::size_t contentEnd = text.size();
    std::size_t found = npos;
    if (multipart) {
        found = findFrom(text, delimiter, bodyStart - 2);
        if (found != npos)
            contentEnd = found + 2;
    }
    m_extent = { base, base + bodyStart, base + contentEnd };
    if (!setContent(text.substr(bodyStart, contentEnd - bodyStart)))
        return -1;
    if (contentEnd >= text.size())
        return static_cast<long>(text.size());

    while (found != npos) {
        std::size_t afterDelimiter = found + delimiter.size();
        std::size_t lineEnd = findFrom(text, "\r\n", afterDelimiter);
        if (lineEnd == npos)
            return static_cast<long>(text.size());
        std::size_t partBegin = lineEnd + 2;
        if (text.compare(afterDelimiter, 2, "--") == 0)
            return static_cast<long>(partBegin); // the close delimiter

        std::size_t next = findFrom(text, delimiter, partBegin);
        std::size_t partEnd = next == npos ? text.size() : next;
        std::string_view partText = text.substr(partBegin, partEnd - partBegin);

        auto child = std::make_unique<MessagePart>();
        if (budget.partsLeft == 0) {
            // Too many parts: the rest of the body becomes one raw part, still tested.
            budget.boundsMet |= limits::Bound::Parts;
            if (!child->loadRaw(text.substr(partBegin), base + partBegin))
                return -1;
            m_children.push_back(std::move(child));
            return static_cast<long>(text.size());
        }
        --budget.partsLeft;
        long used = child->loadWithin(partText, base + partBegin, depth + 1, budget);
        if (used < 0)
            return used;
        // A part whose header never ends is kept whole, so its text is still scanned.
        if (used == 0 && !child->loadRaw(partText, base + partBegin))
            return -1;
        m_children.push_back(std::move(child));
        found = next;
    }
    return static_cast<long>(text.size());
}

std::size_t MessagePart::collectLeaves(std::vector<MessagePart*>& list)
{
    if (mediaTypeIndex() == MediaMultipart && !m_children.empty()) {
        std::size_t count = 0;
        for (auto& child : m_children)
            count += child->collectLeaves(list);
        return count;
    }
    list.push_back(this);
    return 1;
}

Result<void> MessagePart::saveContent(const std::string& path) const
{
    if (m_contentLength == 0)
        return Success {};
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return Error::fromErrno("fopen", errno, path);
    constexpr std::size_t Piece = 512;
    std::size_t done = 0;
    while (done < m_contentLength) {
        std::size_t n = std::min(Piece, m_contentLength - done);
        if (std::fwrite(m_content.get() + done, 1, n, file) != n) {
            int error = errno;
            std::fclose(file);
            return Error::fromErrno("fwrite", error, path);
        }
        done += n;
    }
    if (std::fclose(file) != 0)
        return Error::fromErrno("fclose", errno, path);
    return Success {};
}

} // namespace vz::mail
