#include "service/mail/message_rewrite.h"

#include "common/text.h"
#include "service/mail/message_part.h"

#include <algorithm>

namespace vz::mail {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Splits at CR LF, lone CR or lone LF. A final line without a line end counts; a line
// end at the very end adds no empty line after it.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}

    // Offset of the line next() gives next.
    std::size_t position() const { return m_pos; }

    bool next(std::string_view& line)
    {
        if (m_pos >= m_text.size())
            return false;
        std::size_t end = m_text.find_first_of("\r\n", m_pos);
        if (end == npos) {
            line = m_text.substr(m_pos);
            m_pos = m_text.size();
            return true;
        }
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        if (m_text[end] == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n')
            ++m_pos;
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

void writeLine(std::string& out, std::string_view line)
{
    out += line;
    out += "\r\n";
}

} // namespace

std::vector<RewriteCut> cutsForRewrite(
    std::string_view text, const std::vector<MessagePart*>& leaves, const std::vector<bool>& infected)
{
    static constexpr std::string_view Disposition = "Content-Disposition:";
    // The end-of-data line of the wire stays, so the message still ends as it did.
    std::size_t messageEnd = text.size();
    if (text.ends_with("\r\n.\r\n"))
        messageEnd -= 3;
    else if (text.ends_with("\r\n."))
        messageEnd -= 1;

    std::vector<RewriteCut> cuts;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const MessagePart::Extent& extent = leaves[i]->extent();
        const std::size_t end = std::min({ extent.contentEnd, messageEnd, text.size() });
        const bool isInfected = i < infected.size() && infected[i];
        std::size_t begin = npos;
        // The first header line with "Content-Disposition:": the lines after the field
        // go (its folded lines too). The header's lines end with CR LF (the text is the
        // one the parser read).
        // The next header line's start (the body's start at the latest).
        auto nextLine = [&](std::size_t pos) {
            std::size_t lineEnd = text.find("\r\n", pos);
            return lineEnd == npos || lineEnd + 2 > extent.bodyBegin ? extent.bodyBegin : lineEnd + 2;
        };
        for (std::size_t pos = extent.begin; pos < extent.bodyBegin && begin == npos;) {
            std::size_t next = nextLine(pos);
            const bool disposition = text.substr(pos, next - pos).find(Disposition) != npos;
            pos = next;
            if (!disposition)
                continue;
            while (pos < extent.bodyBegin && (text[pos] == ' ' || text[pos] == '\t'))
                pos = nextLine(pos);
            begin = pos;
        }
        const bool fromBody = begin == npos && isInfected;
        if (fromBody)
            begin = extent.bodyBegin;
        if (begin == npos || begin >= end)
            continue;
        cuts.push_back({ begin, end, !isInfected, fromBody });
    }
    return cuts;
}

std::string rewriteInfectedMessage(
    std::string_view message, std::string_view notice, const std::vector<RewriteCut>& cuts)
{
    static constexpr std::string_view Subject = "Subject:";
    std::string out;
    out.reserve(message.size() + message.size() / 16 + 64);
    LineReader reader(message);
    std::string_view line;
    std::size_t cut = 0;
    std::size_t entered = npos; // the cut whose first line was dropped
    for (std::size_t at = reader.position(); reader.next(line); at = reader.position()) {
        while (cut < cuts.size() && at >= cuts[cut].end)
            ++cut;
        if (cut < cuts.size() && at >= cuts[cut].begin) {
            if (!(cuts[cut].stopsAtFullStopLine && line.starts_with("."))) {
                if (entered != cut && cuts[cut].leavesEmptyLine)
                    writeLine(out, {});
                entered = cut;
                continue;
            }
            // The cut ends here; the full-stop line is written as it is.
            ++cut;
            writeLine(out, line);
            continue;
        }
        if (line.find(Subject) != npos) {
            // Searched in the original line only, so a notice that itself holds
            // "Subject:" is not expanded again.
            std::size_t pos = 0;
            for (std::size_t hit = line.find(Subject); hit != npos; hit = line.find(Subject, pos)) {
                out += line.substr(pos, hit - pos);
                out += "Subject: ";
                out += notice;
                pos = hit + Subject.size();
            }
            out += line.substr(pos);
            out += "\r\n";
        } else {
            writeLine(out, line);
        }
    }
    return out;
}

std::string formatVirusNotice(std::string_view noticeTemplate, std::string_view virusName)
{
    std::string name;
    for (char c : virusName) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f)
            name += c;
    }
    return text::fillTemplate(noticeTemplate, { name });
}

} // namespace vz::mail
