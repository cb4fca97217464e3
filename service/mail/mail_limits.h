#pragma once

#include <cstddef>

// Bounds that keep a crafted message from exhausting the stack or memory. A message
// that passes them is not refused: what lies beyond a bound is kept as raw content,
// so that it is still handed to the engine.
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

} // namespace vz::mail::limits
