#include "service/mail/message_rewrite.h"

#include "common/text.h"

namespace vz::mail {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Splits at CR LF, lone CR or lone LF. A final line without a line end counts; a line
// end at the very end adds no empty line after it.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}

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

std::string rewriteInfectedMessage(std::string_view message, std::string_view notice)
{
    static constexpr std::string_view Subject = "Subject:";
    static constexpr std::string_view Disposition = "Content-Disposition:";
    std::string out;
    out.reserve(message.size() + message.size() / 16 + 64);
    LineReader reader(message);
    std::string_view line;
    while (reader.next(line)) {
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
        } else if (line.find(Disposition) != npos) {
            writeLine(out, line);
            while (reader.next(line)) {
                if (line.starts_with("------=") || line.starts_with(".")) {
                    writeLine(out, line);
                    break;
                }
            }
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
