#pragma once

#include "service/mail/header_field.h"

#include <string>
#include <string_view>
#include <vector>

namespace vz::mail {

// Media type index of a Content-Type value.
enum MediaType : int {
    MediaText = 0,
    MediaImage = 1,
    MediaAudio = 2,
    MediaVideo = 3,
    MediaApplication = 4,
    MediaMultipart = 5,
    MediaMessage = 6,
    MediaOther = 7,
};

// The fields of one header, in the order of the message; names may repeat.
class PartHeader {
public:
    PartHeader() = default;
    virtual ~PartHeader() = default;
    PartHeader(const PartHeader&) = delete;
    PartHeader& operator=(const PartHeader&) = delete;

    virtual void clear();
    // Loads the fields up to the blank line. Answers the bytes consumed including the
    // blank line, or 0 when the header is incomplete (the fields read so far stay).
    virtual long load(std::string_view text);

    // The first field of that name, compared without regard to case; null when none.
    const HeaderField* findField(std::string_view name) const;

    // A parameter of a field's value ("boundary" of "Content-Type"), quotes removed;
    // empty when the field or the parameter is missing.
    std::string parameter(std::string_view fieldName, std::string_view parameterName) const;
    std::string boundary() const;
    std::string attachmentName() const;

    int mediaTypeIndex() const;
    std::string mainType() const;

    const std::vector<HeaderField>& fields() const { return m_fields; }
    // True when the header had more fields than are kept (the rest was read over).
    bool fieldsDropped() const { return m_fieldsDropped; }

private:
    std::vector<HeaderField> m_fields;
    bool m_fieldsDropped = false;
};

// Parameter extraction on a field value; exposed for the tests and the fuzz target.
std::string extractParameter(std::string_view value, std::string_view parameterName);

} // namespace vz::mail
