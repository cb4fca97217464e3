#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vz::mail {

class MessagePart;

// Lines the rewrite drops: every line that begins at an offset in [begin, end) of the
// message text. A cut that stops at a full-stop line ends early at the first line
// there that begins with "." (the end-of-data line of the wire), which is written. A
// cut that leaves an empty line writes one in place of what it drops, so that a body
// it empties still follows a blank line (a part is a header, a blank line, a body).
struct RewriteCut {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool stopsAtFullStopLine = false;
    bool leavesEmptyLine = false;
};

// What the rewrite of an infected message cuts, from the parsed message (leaves in
// order, as collectLeaves gives them, with a flag for each that was infected; text is
// the text the message was loaded from):
//  - an infected leaf loses its whole content, whatever its header says (an empty
//    line stays in its place);
//  - a leaf with a header line holding "Content-Disposition:" loses the header lines
//    after that field and its content (up to a full-stop line when it is clean).
// Every cut ends where the leaf's content ends, before the boundary line that follows,
// so the boundaries, the clean parts and the close delimiter stay. A final line "."
// at the very end of the message is never cut.
std::vector<RewriteCut> cutsForRewrite(
    std::string_view text, const std::vector<MessagePart*>& leaves, const std::vector<bool>& infected);

// The rewrite of an infected message, line by line. A line ends at CR LF, at a lone
// CR or at a lone LF; every line written is followed by CR LF, empty lines included,
// so the blank lines between headers and bodies stay.
//  - A line in a cut is dropped.
//  - Otherwise every "Subject:" in a line becomes "Subject: " followed by the notice.
//  - Any other line is written unchanged.
// Cuts must be in order and must not overlap.
std::string rewriteInfectedMessage(
    std::string_view message, std::string_view notice, const std::vector<RewriteCut>& cuts);

// The notice text with the virus name in place of its first "%s" ("%%" gives "%").
// Control characters of the name are dropped, so that it cannot end a header line.
std::string formatVirusNotice(std::string_view noticeTemplate, std::string_view virusName);

} // namespace vz::mail
