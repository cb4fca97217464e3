#include "outside/savapi/detection_names.h"

#include <gtest/gtest.h>

namespace vz::savapi {
namespace {

TEST(DetectionNames, HeuristicFindingsThatAreNoDetectionBecomeWarnings)
{
    struct Case {
        const char* name;
        std::uint16_t flags;
        std::uint32_t warning;
    };
    const Case cases[] = {
        { "Heuristics.Encrypted.Zip", 4, 0x1000 },
        { "Heuristics.Encrypted.PDF", 4, 0x1000 },
        { "Heuristics.OLE2.ContainsMacros", 4, 0x100 },
        { "Heuristics.OLE2.ContainsMacros.XLM", 4, 0x100 },
        { "Heuristics.Limits.Exceeded.MaxFileSize", 4, 0x10000 },
        { "Heuristics.Broken.Executable", 1, 0 },
        { "Heuristics.Phishing.Email.SpoofedDomain", 1, 0 },
        { "Vz-Test.Program", 1, 0 },
        { "Encrypted.Zip", 1, 0 },
    };
    for (const auto& c : cases) {
        const DetectionKind kind = classifyDetection(c.name);
        EXPECT_EQ(kind.flags, c.flags) << c.name;
        EXPECT_EQ(kind.warningCode, c.warning) << c.name;
    }
}

TEST(DetectionNames, RecordNamesDropTheUnofficialMarkAndFitTheirField)
{
    struct Case {
        const char* name;
        const char* shown;
    };
    const Case cases[] = {
        { "Vz-Test.Program.UNOFFICIAL", "Vz-Test.Program" },
        { "Vz-Test.Program", "Vz-Test.Program" },
        { ".UNOFFICIAL", ".UNOFFICIAL" },
        { "Win.Trojan.Agent33ByteLong-123-0", "Win.Trojan.Agent33ByteLong-123-0" },
        { "Win.Trojan.Agent33ByteLongX-123-0", "Win.Trojan.Agent33ByteLongX-123-0" },
        // Longer: the start, the CRC-32 of the whole name (low 24 bits), the end.
        { "Win.Trojan.Agent34ByteLongXY-123-0", "Win.Trojan.Agent~975122~gXY-123-0" },
        { "Heuristics.Limits.Exceeded.MaxFileSize", "Heuristics.Limit~3e8f7f~xFileSize" },
        { "Xls.Downloader.DridexMacro-6323428-0.UNOFFICIAL", "Xls.Downloader.D~b1982c~6323428-0" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(recordName(c.name), c.shown) << c.name;
        EXPECT_LE(recordName(c.name).size(), 33u) << c.name;
    }
}

TEST(DetectionNames, LongNamesThatDifferOnlyInTheMiddleStayApart)
{
    const std::string a = "Win.Trojan.Generic.Family.Alpha.Variant-1234567-0";
    const std::string b = "Win.Trojan.Generic.Family.Bravo.Variant-1234567-0";
    EXPECT_NE(recordName(a), recordName(b));
    EXPECT_EQ(recordName(a), recordName(a + ".UNOFFICIAL"));
    EXPECT_EQ(recordName(a).substr(0, 16), a.substr(0, 16));
    EXPECT_EQ(recordName(a).substr(24), a.substr(a.size() - 9));
}

} // namespace
} // namespace vz::savapi
