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
    EXPECT_EQ(recordName("Vz-Test.Program.UNOFFICIAL"), "Vz-Test.Program");
    EXPECT_EQ(recordName("Vz-Test.Program"), "Vz-Test.Program");
    EXPECT_EQ(recordName(".UNOFFICIAL"), ".UNOFFICIAL");
    EXPECT_EQ(recordName("Heuristics.Limits.Exceeded.MaxFileSize"), "Heuristics.Limits.Exceeded.MaxFil");
    EXPECT_EQ(recordName("Heuristics.Limits.Exceeded.MaxFileSize").size(), 33u);
}

} // namespace
} // namespace vz::savapi
