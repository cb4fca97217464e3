// vodazedad-mailscan FILE...: the guard service's mail scan on message files, for
// administrators and tests. Each file is rewritten (infected) or deleted (clean)
// exactly as the service would do it; the outcome is printed per file.
// Exit code: 0 all clean, 1 a virus was found, 2 a file could not be handled or no
// engine is available.
#include "common/engine/scan_engine.h"
#include "common/files.h"
#include "common/lang/language_manager.h"
#include "common/lang/local_text.h"
#include "common/paths.h"
#include "platform/atoms/file_atom_table.h"
#include "platform/dynlib/dynamic_library.h"
#include "service/mail/engine_file_tester.h"
#include "service/mail/mail_request.h"
#include "common/text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using vz::LocalText;
using vz::text::fillTemplate;
using vz::mail::MailScanOutcome;

void printLine(const std::string& line, std::FILE* stream = stdout)
{
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
}

// The outcome line of one file; answers the file's exit code.
int report(const std::string& path, const MailScanOutcome& outcome)
{
    using Disposition = MailScanOutcome::Disposition;
    int code = outcome.infected ? 1 : 0;
    switch (outcome.disposition) {
    case Disposition::NotOpened:
        printLine(fillTemplate(LocalText("mailscannotopened", "%s: cannot be opened"), { path }));
        code = 2;
        break;
    case Disposition::Deleted:
        printLine(fillTemplate(LocalText("mailscanclean", "%s: clean, deleted"), { path }));
        break;
    case Disposition::Rewritten:
        printLine(fillTemplate(LocalText("mailscaninfected", "%s: infected (%s), rewritten"),
            { path, outcome.lastVirusName }));
        break;
    case Disposition::LeftUnchanged:
        printLine(fillTemplate(outcome.infected
                ? LocalText("mailscanrewritefailed", "%s: infected (%s), could not be rewritten, left unchanged")
                : LocalText("mailscanincomplete", "%s: not scanned completely, left unchanged"),
            { path, outcome.lastVirusName }));
        code = 2;
        break;
    }
    for (const auto& attachment : outcome.attachments) {
        if (attachment.virusName.empty())
            continue;
        printLine("  " + attachment.name + ": " + attachment.virusName);
    }
    for (const auto& problem : outcome.problems)
        printLine("  " + problem, stderr);
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string appDir = vz::paths::withTrailingSeparator(vz::files::ownProgramFolder());
    vz::installTextSource(vz::LanguageManager::start(appDir, "", vz::ServiceLanguageSlots));

    if (argc < 2) {
        printLine(LocalText("mailscanusage", "Usage: vodazedad-mailscan FILE..."), stderr);
        return 2;
    }

    // Without an engine no message is touched: deleting one would pass it as clean.
    vz::platform::DynamicLibraryLoader loader;
    auto engine = vz::engine::ScanEngine::start(loader, vz::engine::EnginePaths::inFolder(appDir));
    if (!engine) {
        printLine(fillTemplate(LocalText("mailscannoengine", "No scan engine is available: %s"), { engine.error().text() }),
            stderr);
        return 2;
    }

    vz::mail::EngineFileTester tester(**engine);
    vz::mail::NoGuard guard; // no driver here: guard off and on do nothing
    auto atoms = vz::platform::openRuntimeAtomTable();
    std::error_code ec;
    std::string scratch = std::filesystem::temp_directory_path(ec).string();
    if (ec || scratch.empty())
        scratch = "/tmp";
    vz::mail::MailScan scan(guard, tester, *atoms, scratch);
    vz::mail::MailRequest request(scan);

    int exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        request.run(argv[i]);
        exitCode = std::max(exitCode, report(argv[i], request.outcome()));
    }
    return exitCode;
}
