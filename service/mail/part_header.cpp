#include "service/mail/part_header.h"

#include "common/text.h"
#include "service/mail/char_class.h"
#include "service/mail/mail_limits.h"

#include <array>

namespace vz::mail {

void PartHeader::clear()
{
    m_fields.clear();
    m_fieldsDropped = false;
}

long PartHeader::load(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] != '\r') {
        HeaderField field;
        std::size_t used = field.load(text.substr(pos));
        if (used == 0)
            return 0;
        if (m_fields.size() < limits::MaxFieldsPerHeader)
            m_fields.push_back(std::move(field));
        else
            m_fieldsDropped = true;
        pos += used;
    }
    // The blank line: its CR must be followed by one more byte, else it is incomplete.
    if (pos + 1 >= text.size())
        return 0;
    return static_cast<long>(pos + 2);
}

const HeaderField* PartHeader::findField(std::string_view name) const
{
    for (const auto& field : m_fields) {
        if (text::equalsIgnoreCase(field.name, name))
            return &field;
    }
    return nullptr;
}

std::string extractParameter(std::string_view value, std::string_view wanted)
{
    constexpr std::size_t npos = std::string_view::npos;
    std::size_t pos = value.find(';');
    while (pos != npos) {
        while (pos < value.size() && (isSpaceClass(value[pos]) || value[pos] == ';'))
            ++pos;
        std::size_t nameStart = pos;
        std::size_t equals = value.find('=', pos);
        if (equals == npos)
            break;
        std::size_t valueStart = equals + 1;
        std::size_t valueEnd = valueStart;
        std::size_t closingQuote = valueStart < value.size() && value[valueStart] == '"'
            ? value.find('"', valueStart + 1)
            : npos;
        if (closingQuote != npos) {
            valueEnd = closingQuote + 1;
        } else {
            // Unquoted: blanks, control characters and the special class end the value.
            while (valueEnd < value.size()
                && static_cast<unsigned char>(value[valueEnd]) >= '!'
                && !isSpecialClass(value[valueEnd]))
                ++valueEnd;
        }

        std::size_t after = nameStart + wanted.size();
        if (after < value.size()
            && text::equalsIgnoreCase(value.substr(nameStart, wanted.size()), wanted)
            && (isSpaceClass(value[after]) || value[after] == '=')) {
            std::string_view found = value.substr(valueStart, valueEnd - valueStart);
            if (!found.empty() && found.front() == '"') {
                found.remove_prefix(1);
                if (!found.empty() && found.back() == '"')
                    found.remove_suffix(1);
            }
            return std::string(found);
        }
        pos = value.find(';', valueEnd);
    }
    return {};
}

std::string PartHeader::parameter(std::string_view fieldName, std::string_view parameterName) const
{
    const HeaderField* field = findField(fieldName);
    return field ? extractParameter(field->value, parameterName) : std::string {};
}

std::string PartHeader::boundary() const
{
    return parameter("Content-Type", "boundary");
}

std::string PartHeader::attachmentName() const
{
    return parameter("Content-Type", "name");
}

int PartHeader::mediaTypeIndex() const
{
    static constexpr std::array<std::string_view, 7> types {
        "text", "image", "audio", "video", "application", "multipart", "message"
    };
    const HeaderField* field = findField("Content-Type");
    if (!field)
        return MediaText;
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (text::startsWithIgnoreCase(field->value, types[i]))
            return static_cast<int>(i);
    }
    return MediaOther;
}

std::string PartHeader::mainType() const
{
    const HeaderField* field = findField("Content-Type");
    if (!field)
        return "text";
    return field->value.substr(0, field->value.find('/'));
}

} // namespace vz::mail
