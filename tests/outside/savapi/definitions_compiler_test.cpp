#include "outside/savapi/definitions_format.h"
#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace vz::test {
namespace {

namespace fs = std::filesystem;

// Runs the definitions compiler on a manifest; answers its exit code and its
// complaint on stderr.
int compile(const TempDir& dir, const std::string& manifest, std::string& complaint)
{
    const std::string command = std::string(VZ_VDF_COMPILER) + " '" + manifest + "' '" + dir.file("out.vdf") + "' 2>'" + dir.file("stderr") + "'";
    const int status = std::system(command.c_str());
    complaint = readAll(dir.file("stderr"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DefinitionsCompiler, ReadsOnlyRegularSignatureSources)
{
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> place; // puts the database "test.ndb" in place
        int exitCode;
        const char* complaint;
    };
    const Case cases[] = {
        { "a regular database", [](const TempDir& d) { d.write("test.ndb", "Vz-Test.Compiled:0:0:41424344454647\n"); }, 0, "" },
        // Each of these once hung the compiler or read without end.
        { "a pipe", [](const TempDir& d) { ASSERT_EQ(::mkfifo(d.file("test.ndb").c_str(), 0600), 0); }, 1, "Invalid argument" },
        { "a link to an endless device", [](const TempDir& d) { fs::create_symlink("/dev/zero", d.file("test.ndb")); }, 1, "Invalid argument" },
        { "missing", [](const TempDir&) {}, 1, "No such file or directory" },
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string manifest = dir.write("definitions.ini", "date = 2026-12-11\nversion = 1.0.0.1\n[test.ndb]\nrepairable = no\n");
        c.place(dir);
        std::string complaint;
        EXPECT_EQ(compile(dir, manifest, complaint), c.exitCode) << c.what << ": " << complaint;
        EXPECT_NE(complaint.find(c.complaint), std::string::npos) << c.what << ": " << complaint;
        if (c.exitCode == 0) {
            const savapi::ParseResult parsed = savapi::parseDefinitions(readAll(dir.file("out.vdf")));
            EXPECT_EQ(parsed.status, savapi::ParseStatus::Ok) << parsed.problem;
            EXPECT_EQ(parsed.definitions.signatures(), 1u);
        }
    }
}

} // namespace
} // namespace vz::test
