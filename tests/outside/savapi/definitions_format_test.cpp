#include "outside/savapi/definitions_format.h"

#include <gtest/gtest.h>

namespace vz::savapi {
namespace {

Definitions sample()
{
    Definitions d;
    d.year = 2026;
    d.month = 12;
    d.day = 11;
    d.version[0] = 1;
    d.version[3] = 7;
    DefinitionsSection plain;
    plain.name = "plain.ndb";
    plain.signatures = 2;
    plain.data = "A:0:*:4142\nB:0:*:4344\n";
    DefinitionsSection repairable;
    repairable.name = "family.hdb";
    repairable.repairable = true;
    repairable.signatures = 1;
    repairable.repairMethod = RepairMethod::StripAppendedBlock;
    repairable.beginMarker = "<<B>>";
    repairable.endMarker = "<<E>>";
    repairable.data = "d41d8cd98f00b204e9800998ecf8427e:0:Family.One\n";
    d.sections = { plain, repairable };
    return d;
}

TEST(DefinitionsFormat, ReadsBackWhatItWrites)
{
    const std::string bytes = serializeDefinitions(sample());
    const ParseResult parsed = parseDefinitions(bytes);
    ASSERT_EQ(parsed.status, ParseStatus::Ok) << parsed.problem;
    const Definitions& d = parsed.definitions;
    EXPECT_EQ(d.year, 2026);
    EXPECT_EQ(d.month, 12);
    EXPECT_EQ(d.day, 11);
    EXPECT_EQ(d.version[3], 7);
    EXPECT_EQ(d.signatures(), 3u);
    ASSERT_EQ(d.sections.size(), 2u);
    EXPECT_EQ(d.sections[1].name, "family.hdb");
    EXPECT_TRUE(d.sections[1].repairable);
    EXPECT_EQ(d.sections[1].repairMethod, RepairMethod::StripAppendedBlock);
    EXPECT_EQ(d.sections[1].beginMarker, "<<B>>");
    EXPECT_EQ(d.sections[1].endMarker, "<<E>>");
    EXPECT_EQ(d.sections[0].data, sample().sections[0].data);
}

TEST(DefinitionsFormat, TellsAFileBeingWrittenFromACorruptOne)
{
    const std::string good = serializeDefinitions(sample());
    Definitions badName = sample();
    badName.sections[0].name = "../escape.ndb";
    Definitions bytecode = sample();
    bytecode.sections[0].name = "code.cbc";
    struct Case {
        const char* what;
        std::string bytes;
        ParseStatus expected;
    };
    const Case cases[] = {
        { "empty", "", ParseStatus::Incomplete },
        { "part of the header", good.substr(0, 30), ParseStatus::Incomplete },
        { "part of the sections", good.substr(0, good.size() - 1), ParseStatus::Incomplete },
        { "not ours", "ABCDEFGHIJ", ParseStatus::Corrupt },
        { "longer than declared", good + "x", ParseStatus::Corrupt },
        { "a flipped bit in a section", [&] { auto b = good; b[70] ^= 1; return b; }(), ParseStatus::Corrupt },
        { "a flipped bit in the header", [&] { auto b = good; b[19] ^= 1; return b; }(), ParseStatus::Corrupt },
        { "a name leaving the folder", serializeDefinitions(badName), ParseStatus::Corrupt },
        { "a bytecode database", serializeDefinitions(bytecode), ParseStatus::Corrupt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseDefinitions(c.bytes).status, c.expected) << c.what;
}

TEST(DefinitionsFormat, NamesTheDetectionsOfEachDatabaseType)
{
    EXPECT_EQ(signatureNames("a.ndb", "One:0:*:41\r\n\n# note\nTwo:1:EOF-4:42\n"), (std::vector<std::string> { "One", "Two" }));
    EXPECT_EQ(signatureNames("a.ldb", "Logic.One;Engine:51-255,Target:0;0;41\n"), (std::vector<std::string> { "Logic.One" }));
    EXPECT_EQ(signatureNames("a.hdb", "d41d8cd98f00b204e9800998ecf8427e:0:Hash.One\nffff:12:Hash.Two:73\n"), (std::vector<std::string> { "Hash.One", "Hash.Two" }));
}

TEST(DefinitionsFormat, ChecksumIsTheStandardCrc32)
{
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32(""), 0u);
}

} // namespace
} // namespace vz::savapi
