#pragma once

#include <cstddef>
#include <string>

// Bounds that keep a crafted message from exhausting the stack or memory. The parser
// does not fail at a bound: what lies beyond it is kept as raw content and the bound
// is reported (Bound), so that the mail scan never passes such a message as clean.
namespace vz::mail::limits {

// Largest message file taken into memory; a larger one is left as it is (reported,
// never passed as clean).
inline constexpr std::size_t MaxMessageBytes = std::size_t(256) << 20;
// Multipart levels parsed into children; a deeper multipart keeps its body as content.
inline constexpr int MaxNestingDepth = 32;
// Parts of one message; the rest of a multipart body beyond it becomes one raw part.
inline constexpr std::size_t MaxParts = 10000;
// Longest boundary taken as one (mail standards allow 70 characters); a longer one
// leaves the body whole as content and keeps the delimiter search linear.
inline constexpr std::size_t MaxBoundaryLength = 256;
// Fields kept per header; further fields are read over but not kept.
inline constexpr std::size_t MaxFieldsPerHeader = 1000;

// The bounds a message met while it was parsed, as bits.
namespace Bound {
inline constexpr unsigned Depth = 0x1;
inline constexpr unsigned Parts = 0x2;
inline constexpr unsigned Fields = 0x4;
inline constexpr unsigned BoundaryLength = 0x8;
} // namespace Bound

// The bounds of a Bound bit set in words, for a report ("" when none).
inline std::string describeBounds(unsigned bounds)
{
    std::string text;
    auto add = [&](unsigned bit, const std::string& what) {
        if (!(bounds & bit))
            return;
        if (!text.empty())
            text += ", ";
        text += what;
    };
    add(Bound::Depth, "more than " + std::to_string(MaxNestingDepth) + " multipart levels");
    add(Bound::Parts, "more than " + std::to_string(MaxParts) + " parts");
    add(Bound::Fields, "more than " + std::to_string(MaxFieldsPerHeader) + " fields in a header");
    add(Bound::BoundaryLength, "a boundary longer than " + std::to_string(MaxBoundaryLength) + " characters");
    return text;
}

} // namespace vz::mail::limits
