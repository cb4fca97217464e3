#include "outside/savapi/definitions_format.h"
#include "outside/savapi/detection_names.h"
#include "tests/outside/savapi/engine_samples.h"
#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

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

// Runs the definitions compiler with arguments (each quoted); answers its exit code,
// its stderr in complaint and its stdout in said.
int run(const TempDir& dir, const std::vector<std::string>& arguments, std::string& complaint, std::string* said = nullptr)
{
    std::string command = VZ_VDF_COMPILER;
    for (const auto& argument : arguments)
        command += " '" + argument + "'";
    command += " >'" + dir.file("stdout") + "' 2>'" + dir.file("stderr") + "'";
    const int status = std::system(command.c_str());
    complaint = readAll(dir.file("stderr"));
    if (said)
        *said = readAll(dir.file("stdout"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A database container as the signature updater fetches one: a 512-byte header
// "ClamAV-VDB:..." padded with blanks, then a gzip-compressed tar of the databases
// (a plain tar for a .cld). Its digital signature field holds no valid signature.
std::string makeContainer(const TempDir& dir, const std::string& name, const std::vector<std::pair<std::string, std::string>>& files)
{
    const std::string inside = dir.mkdir(name + ".content");
    std::string list;
    for (const auto& [file, content] : files) {
        dir.write(name + ".content/" + file, content);
        list += " '" + file + "'";
    }
    const bool plainTar = name.ends_with(".cld");
    const std::string body = dir.file(name + ".body");
    const std::string command = "tar -C '" + inside + "' -c" + (plainTar ? "" : "z") + "f '" + body + "'" + list;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::string header = "ClamAV-VDB:11 Dec 2026 10-00 +0000:7:" + std::to_string(files.size()) + ":90:00000000000000000000000000000000:unsigned:vz:1797000000";
    header.resize(512, ' ');
    return dir.write(name, header + readAll(body));
}

// The engine of the installation folder with other definitions.
struct EngineWith {
    TempDir folder;
    std::unique_ptr<vz::engine::ScanEngine> engine;

    explicit EngineWith(const std::string& definitions)
    {
        const auto paths = engine::copyEngine(folder);
        EXPECT_EQ(std::system(("cp '" + definitions + "' '" + paths.definitions + "'").c_str()), 0);
        engine = engine::startEngine(paths);
    }

    std::string found(const std::string& content) const
    {
        const std::string path = folder.write("sample", content);
        const auto record = engine::test(*engine, path, vz::engine::Option::Service);
        return record.hasVirusName ? std::string(record.virusName) : std::string();
    }
};

// Signatures of a user's own: a hash signature with a name longer than a test record
// holds, and a body signature in a self-made container.
constexpr const char* HashSampleHex = "567a206f776e20686173682073616d706c650a";
constexpr const char* HashSignature = "866164f3678abbaa188577bceb9cbfa0:19:Vz-Own.Hash.With.A.Rather.Long.Detection.Name-1234567-0\n";
constexpr const char* LongHashName = "Vz-Own.Hash.With.A.Rather.Long.Detection.Name-1234567-0";
constexpr const char* BodySampleHex = "767a2073656c662d6d61646520636f6e7461696e65722073616d706c65";
const std::string BodySignature = std::string("Vz-Own.Container.Body:0:*:") + BodySampleHex + "\n";

TEST(DefinitionsCompiler, TakesAUsersDatabasesInOneCommandAndKeepsTheTestSignatures)
{
    struct Case {
        const char* what;
        std::function<std::vector<std::string>(const TempDir&)> arguments; // sources and options
        bool hash;                                                          // the hash signature is in
        bool body;                                                          // the container's body signature is in
    };
    auto container = [](const TempDir& d, const std::string& name) {
        return makeContainer(d, name, { { "own.info", "Own:7:1\n" }, { "own.ndb", BodySignature } });
    };
    const Case cases[] = {
        { "an own hash database", [](const TempDir& d) { return std::vector<std::string> { d.write("own.hdb", HashSignature) }; }, true, false },
        { "an unsigned .cvd, allowed", [&](const TempDir& d) { return std::vector<std::string> { "--allow-unsigned", container(d, "own.cvd") }; }, false, true },
        { "an unsigned .cld, allowed", [&](const TempDir& d) { return std::vector<std::string> { "--allow-unsigned", container(d, "own.cld") }; }, false, true },
        { "an unsigned .cud, allowed", [&](const TempDir& d) { return std::vector<std::string> { "--allow-unsigned", container(d, "own.cud") }; }, false, true },
        { "a folder of the updater's kind", [&](const TempDir& d) {
             d.mkdir("db");
             d.write("db/own.hdb", HashSignature);
             d.write("db/freshclam.dat", "not a database");
             // An older .cvd beside a newer .cld of the same database: the .cld is taken.
             makeContainer(d, "db/own.cvd", { { "own.ndb", "Vz-Own.Outdated:0:*:0102030405060708\n" } });
             container(d, "db/own.cld");
             return std::vector<std::string> { "--allow-unsigned", "--from", d.file("db") };
         },
            true, true },
    };
    for (const auto& c : cases) {
        TempDir dir;
        auto arguments = c.arguments(dir);
        arguments.insert(arguments.begin(), { "--output", dir.file("ANTIVIR.VDF") });
        std::string complaint;
        ASSERT_EQ(run(dir, arguments, complaint), 0) << c.what << ": " << complaint;
        EngineWith with(dir.file("ANTIVIR.VDF"));
        ASSERT_TRUE(with.engine) << c.what;
        EXPECT_EQ(with.found(engine::standardTestFile()), "Vz-Test.StandardFile") << c.what;
        EXPECT_EQ(with.found(engine::cleanHost() + engine::appendedBlock()), "Vz-Test.AppendedBlock") << c.what;
        EXPECT_EQ(with.found(engine::fromHex(HashSampleHex)), c.hash ? savapi::recordName(LongHashName) : "") << c.what;
        EXPECT_EQ(with.found(engine::fromHex(BodySampleHex)), c.body ? "Vz-Own.Container.Body" : "") << c.what;
        EXPECT_EQ(with.found(engine::fromHex("0102030405060708")), "") << c.what;
    }
}

TEST(DefinitionsCompiler, RefusesWhatItCannotTrustAndWritesNothing)
{
    struct Case {
        const char* what;
        std::function<std::vector<std::string>(const TempDir&)> arguments;
        int exitCode;
        const char* complaint;
    };
    const Case cases[] = {
        { "an unsigned .cvd", [](const TempDir& d) { return std::vector<std::string> { makeContainer(d, "own.cvd", { { "own.ndb", BodySignature } }) }; }, 1, "digital signature" },
        { "an unsigned .cld in a folder", [](const TempDir& d) { d.mkdir("db"); makeContainer(d, "db/own.cld", { { "own.ndb", BodySignature } }); return std::vector<std::string> { d.file("db") }; }, 1, "--allow-unsigned" },
        { "a .cud, unsigned by design", [](const TempDir& d) { return std::vector<std::string> { makeContainer(d, "own.cud", { { "own.ndb", BodySignature } }) }; }, 1, "an unsigned database (.cud)" },
        { "a plain bytecode file", [](const TempDir& d) { return std::vector<std::string> { "--allow-unsigned", d.write("own.cbc", "ClamBC") }; }, 1, "bytecode signatures are taken only from a database whose digital signature verifies" },
        { "a container that is no gzip", [](const TempDir& d) { std::string header = "ClamAV-VDB:11 Dec 2026 10-00 +0000:7:1:90:00000000000000000000000000000000:unsigned:vz:1797000000"; header.resize(512, ' '); return std::vector<std::string> { "--allow-unsigned", d.write("own.cvd", header + "not compressed") }; }, 1, "own.cvd" },
        { "a file of no database type", [](const TempDir& d) { return std::vector<std::string> { d.write("notes.txt", "x") }; }, 1, "not a database type" },
        { "a malformed body signature", [](const TempDir& d) { return std::vector<std::string> { d.write("own.ndb", "Broken:0:*:4g\n") }; }, 1, "own.ndb" },
        // Two long names whose shortened forms meet (the same start, end and hash).
        { "two names that would show alike", [](const TempDir& d) { return std::vector<std::string> { d.write("own.hdb", "866164f3678abbaa188577bceb9cbfa0:19:Vz-Own.Collision.23838.Family-1234567-0\n0123456789abcdef0123456789abcdef:19:Vz-Own.Collision.100004.Family-1234567-0\n") }; }, 1, "would both show as" },
        { "no output", [](const TempDir& d) { return std::vector<std::string> { "--no-output-given" , d.write("own.hdb", HashSignature) }; }, 2, "unknown option" },
    };
    for (const auto& c : cases) {
        TempDir dir;
        auto arguments = c.arguments(dir);
        if (c.exitCode != 2)
            arguments.insert(arguments.begin(), { "-o", dir.file("ANTIVIR.VDF") });
        std::string complaint;
        EXPECT_EQ(run(dir, arguments, complaint), c.exitCode) << c.what << ": " << complaint;
        EXPECT_NE(complaint.find(c.complaint), std::string::npos) << c.what << ": " << complaint;
        EXPECT_FALSE(fs::exists(dir.file("ANTIVIR.VDF"))) << c.what;
    }
}

TEST(DefinitionsCompiler, LeavesBytecodeOfAnUnverifiedContainerOutAndSaysSo)
{
    TempDir dir;
    const std::string cvd = makeContainer(dir, "own.cvd", { { "own.ndb", BodySignature }, { "own.cbc", "ClamBC" } });
    std::string complaint;
    ASSERT_EQ(run(dir, { "-o", dir.file("ANTIVIR.VDF"), "--allow-unsigned", cvd }, complaint), 0) << complaint;
    EXPECT_NE(complaint.find("own.cbc left out, bytecode from an unverified database"), std::string::npos) << complaint;
    const auto parsed = savapi::parseDefinitions(readAll(dir.file("ANTIVIR.VDF")));
    ASSERT_EQ(parsed.status, savapi::ParseStatus::Ok) << parsed.problem;
    for (const auto& section : parsed.definitions.sections)
        EXPECT_FALSE(section.name.ends_with(".cbc")) << section.name;
}

// A container inside the definitions is loaded by libclamav, which checks it (a .cvd
// by its digital signature, a .cld by the signed list of its files): definitions
// written by hand cannot smuggle an unsigned one in.
TEST(DefinitionsCompiler, TheEngineChecksAContainerInTheDefinitions)
{
    for (const char* name : { "own.cvd", "own.cld" }) {
        TempDir dir;
        savapi::Definitions definitions;
        definitions.year = 2026;
        definitions.month = 12;
        definitions.day = 11;
        savapi::DefinitionsSection section;
        section.name = name;
        section.data = readAll(makeContainer(dir, name, { { "own.ndb", BodySignature } }));
        section.signatures = 1;
        definitions.sections.push_back(section);
        const auto paths = engine::copyEngine(dir);
        const std::string written = dir.write("written.vdf", savapi::serializeDefinitions(definitions));
        ASSERT_EQ(std::system(("cp '" + written + "' '" + paths.definitions + "'").c_str()), 0);
        EXPECT_EQ(engine::startCode(paths), 5) << name << ": definitions corrupt";
    }
}

TEST(DefinitionsCompiler, TellsHowToCallIt)
{
    TempDir dir;
    std::string complaint;
    std::string said;
    ASSERT_EQ(run(dir, { "--help" }, complaint, &said), 0);
    for (const char* part : { "Usage:", "--from", "--allow-unsigned", "--output", "Examples:", "Exit status:", "Files:" })
        EXPECT_NE(said.find(part), std::string::npos) << part;
    EXPECT_EQ(run(dir, {}, complaint), 2);
    EXPECT_NE(complaint.find("--output"), std::string::npos) << complaint;
}

} // namespace
} // namespace vz::test
