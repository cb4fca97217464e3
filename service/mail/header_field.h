#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vz::mail {

// One field of a part header. Character sets are recorded, never converted.
struct HeaderField {
    // Text before the first ":" of the field's first line, unchanged; empty when the
    // line has no ":".
    std::string name;
    // Text after the ":" and the blanks and tabs after it, continuation lines included
    // with their CR LF, after encoded-word decoding.
    std::string value;
    // Charset of the value's first encoded word; empty when there is none.
    std::string charset;

    // Loads one field from the start of text. Answers the bytes consumed including the
    // field's final CR LF, or 0 when text holds no complete field (the blank line, or
    // a missing CR LF).
    std::size_t load(std::string_view text);
};

// Position of the next CR LF at or after from, or npos.
std::size_t findCrLf(std::string_view text, std::size_t from);

} // namespace vz::mail
