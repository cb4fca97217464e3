#include "platform/dynlib/dynamic_library.h"

#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>
#include <utility>

namespace vz::platform {
namespace {

std::string engineLibrary()
{
    return test::builtAppDir() + "SAVAPI.DLL";
}

TEST(DynamicLibrary, LoadsByPathAndFindsItsEntryPoints)
{
    auto library = DynamicLibrary::open(engineLibrary());
    ASSERT_TRUE(library.ok()) << library.error().text();
    EXPECT_NE(library->symbol("SAVAPI_Init"), nullptr);
    EXPECT_EQ(library->symbol("SAVAPI_NoSuchEntry"), nullptr);
}

TEST(DynamicLibrary, RefusesWhatIsNotALoadableLibraryByPath)
{
    test::TempDir dir;
    struct Case {
        const char* what;
        std::string path;
    };
    const Case cases[] = {
        { "missing file", dir.file("missing.so") },
        { "not a library", dir.write("text.so", "just text") },
        { "a bare name, which the loader would search for", "libc.so.6" },
    };
    for (const auto& c : cases) {
        auto library = DynamicLibrary::open(c.path);
        EXPECT_FALSE(library.ok()) << c.what;
        if (!library.ok()) {
            EXPECT_EQ(library.error().call, "dlopen") << c.what;
        }
    }
}

TEST(DynamicLibrary, MovedOwnerKeepsTheLibraryAndTheEmptyOneFindsNothing)
{
    auto library = DynamicLibrary::open(engineLibrary());
    ASSERT_TRUE(library.ok());
    DynamicLibrary moved = std::move(*library);
    EXPECT_NE(moved.symbol("SAVAPI_Done"), nullptr);
    EXPECT_EQ(library->symbol("SAVAPI_Done"), nullptr);

    DynamicLibraryLoader loader;
    auto viaLoader = loader.load(engineLibrary());
    ASSERT_TRUE(viaLoader.ok());
    EXPECT_NE((*viaLoader)->symbol("SAVAPI_TestFile"), nullptr);
    EXPECT_FALSE(loader.load("/nonexistent/SAVAPI.DLL").ok());
}

} // namespace
} // namespace vz::platform
