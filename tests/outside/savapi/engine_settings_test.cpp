#include "outside/savapi/engine_settings.h"

#include <gtest/gtest.h>

namespace vz::savapi {
namespace {

TEST(EngineSettings, ReadsTheEngineSectionAndLeavesTheRest)
{
    EngineSettings s;
    ASSERT_TRUE(parseEngineSettings("; settings\r\n[Other]\nMaxFiles=oops\n[engine]\r\n tempfolder = /var/tmp \nMaxFileSize=1000\nMAXSCANSIZE=2000\nMaxRecursion=3\nMaxFiles=4\nUnknown=1\n", s));
    EXPECT_EQ(s.temporaryParent, "/var/tmp");
    EXPECT_EQ(s.maxFileSize, 1000u);
    EXPECT_EQ(s.maxScanSize, 2000u);
    EXPECT_EQ(s.maxRecursion, 3u);
    EXPECT_EQ(s.maxFiles, 4u);
    EngineSettings empty;
    EXPECT_TRUE(parseEngineSettings("", empty));
    EXPECT_EQ(empty.maxFileSize, 0u);
    EXPECT_EQ(empty.verdictCacheEntries, DefaultVerdictCacheEntries);
    for (const auto& [text, entries] : { std::pair { "[Engine]\nVerdictCache=0\n", 0u }, { "[Engine]\nVerdictCache=16\n", 16u } }) {
        EngineSettings cache;
        EXPECT_TRUE(parseEngineSettings(text, cache)) << text;
        EXPECT_EQ(cache.verdictCacheEntries, entries) << text;
    }
}

TEST(EngineSettings, RefusesValuesTheEngineCannotUse)
{
    const char* const cases[] = {
        "[Engine]\nMaxFileSize=big\n",
        "[Engine]\nMaxFileSize=0\n",
        "[Engine]\nMaxFileSize=-5\n",
        "[Engine]\nMaxRecursion=4294967296\n",
        "[Engine]\nTempFolder=relative/path\n",
        "[Engine]\nno value here\n",
        "[Engine\nMaxFiles=3\n",
        "[Engine]\nVerdictCache=4194305\n",
        "[Engine]\nVerdictCache=-1\n",
        "[Engine]\nVerdictCache=\n",
    };
    for (const char* text : cases) {
        EngineSettings s;
        EXPECT_FALSE(parseEngineSettings(text, s)) << text;
    }
}

} // namespace
} // namespace vz::savapi
