// Where the time of the mail scan goes, for run.sh: the whole mail scan (check only,
// the file stays), the test of the whole message alone and the engine tests of the
// distinct parts alone (through the engine port, as the mail scan makes them). Each
// measurement gets a fresh engine, warmed by one tiny test, so that the engine's cache
// of clean contents answers nothing.
//
//   mail_bench INSTALLATION_FOLDER MESSAGE...
#include "common/files.h"
#include "platform/atoms/file_atom_table.h"
#include "platform/dynlib/dynamic_library.h"
#include "service/mail/engine_file_tester.h"
#include "service/mail/mail_scan.h"
#include "service/mail/message_file.h"
#include "service/mail/message_part.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_set>

using namespace vz;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: mail_bench INSTALLATION_FOLDER MESSAGE...\n");
        return 2;
    }
    platform::DynamicLibraryLoader loader;
    const auto paths = engine::EnginePaths::inFolder(std::string(argv[1]) + "/");
    auto freshEngine = [&]() -> std::unique_ptr<engine::ScanEngine> {
        auto started = engine::ScanEngine::start(loader, paths);
        if (!started) {
            std::fprintf(stderr, "no engine: %s\n", started.error().text().c_str());
            std::exit(2);
        }
        mail::EngineFileTester warm(**started);
        warm.testContent("warm up");
        return std::move(*started);
    };
    mail::NoGuard guard;
    auto atoms = platform::openRuntimeAtomTable();

    std::printf("%-24s %6s %6s %8s %8s %8s\n", "message", "KB", "parts", "scan s", "whole s", "parts s");
    for (int i = 2; i < argc; ++i) {
        auto raw = files::readFile(argv[i]);
        if (!raw) {
            std::fprintf(stderr, "%s\n", raw.error().text().c_str());
            return 2;
        }
        const std::string text = mail::withCrLfLineEnds(*raw);
        mail::MailMessage message;
        message.load(text);
        std::vector<mail::MessagePart*> leaves;
        message.collectLeaves(leaves);

        auto scanEngine = freshEngine();
        mail::EngineFileTester scanTester(*scanEngine);
        mail::MailScan scan(guard, scanTester, *atoms, "/tmp");
        scan.setCheckOnly(true);
        auto start = std::chrono::steady_clock::now();
        auto outcome = scan.scanMessage(argv[i]);
        const double all = secondsSince(start);

        auto splitEngine = freshEngine();
        mail::EngineFileTester tester(*splitEngine);
        start = std::chrono::steady_clock::now();
        tester.testContent(text);
        const double whole = secondsSince(start);
        start = std::chrono::steady_clock::now();
        std::unordered_set<std::string_view> seen;
        for (const mail::MessagePart* leaf : leaves) {
            if (leaf->contentLength() != 0 && seen.insert(leaf->contentView()).second)
                tester.testContent(leaf->contentView());
        }
        const double parts = secondsSince(start);

        std::string name = argv[i];
        name = name.substr(name.rfind('/') + 1);
        std::printf("%-24s %6.0f %6zu %8.3f %8.3f %8.3f%s\n", name.c_str(), text.size() / 1024.0, leaves.size(), all, whole,
            parts, outcome.disposition == mail::MailScanOutcome::Disposition::Checked ? "" : "  (not wholly scanned!)");
    }
    return 0;
}
