#pragma once

#include <string>
#include <string_view>

namespace vz::mail {

// The rewrite of an infected message, line by line. A line ends at CR LF, at a lone
// CR or at a lone LF; every line written is followed by CR LF, empty lines included,
// so the blank lines between headers and bodies stay.
//  - Every "Subject:" in a line becomes "Subject: " followed by the notice.
//  - Otherwise a line with "Content-Disposition:" is written, the lines after it are
//    dropped up to one that begins with "------=" or ".", which is written.
//  - Any other line is written unchanged.
std::string rewriteInfectedMessage(std::string_view message, std::string_view notice);

// The notice text with the virus name in place of its first "%s" ("%%" gives "%").
// Control characters of the name are dropped, so that it cannot end a header line.
std::string formatVirusNotice(std::string_view noticeTemplate, std::string_view virusName);

} // namespace vz::mail
