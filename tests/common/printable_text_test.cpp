#include "common/printable_text.h"

#include <gtest/gtest.h>

namespace vz {

TEST(PrintableText, EveryByteThatCouldForgeALineOrDriveTheTerminalIsEscaped)
{
    struct Case {
        std::string name;
        std::string text; // for a text line
        std::string json; // the JSON literal
    } cases[] = {
        { "/plain/file.txt", "/plain/file.txt", "\"/plain/file.txt\"" },
        { "a\nb: OK", "a\\nb: OK", "\"a\\nb: OK\"" },
        { "cr\rtab\t", "cr\\rtab\\t", "\"cr\\rtab\\t\"" },
        { "e\x1b[31mvil", "e\\x1b[31mvil", "\"e\\u001b[31mvil\"" },
        { "del\x7f", "del\\x7f", "\"del\\u007f\"" },
        { "back\\slash \"q\"", "back\\\\slash \"q\"", "\"back\\\\slash \\\"q\\\"\"" },
        // UTF-8 passes; a C1 control (CSI, U+009B) and a direction override do not.
        { "caf\xc3\xa9", "caf\xc3\xa9", "\"caf\xc3\xa9\"" },
        { "x\xc2\x9b" "2J", "x\\xc2\\x9b2J", "\"x\\u009b2J\"" },
        { "txt\xe2\x80\xae" "exe", "txt\\u202eexe", "\"txt\\u202eexe\"" },
        { "sep\xe2\x80\xa8", "sep\\u2028", "\"sep\\u2028\"" },
        // Not UTF-8: a lone byte, an overlong "/", a surrogate, a cut sequence.
        { "bad\xff", "bad\\xff", "\"bad\\udcff\"" },
        { "\xc0\xaf", "\\xc0\\xaf", "\"\\udcc0\\udcaf\"" },
        { "\xed\xa0\x80", "\\xed\\xa0\\x80", "\"\\udced\\udca0\\udc80\"" },
        { "cut\xe2\x82", "cut\\xe2\\x82", "\"cut\\udce2\\udc82\"" },
        { std::string("nul\0x", 5), "nul\\x00x", "\"nul\\u0000x\"" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printableText(c.name), c.text) << c.text;
        EXPECT_EQ(jsonString(c.name), c.json) << c.text;
    }
}

} // namespace vz
