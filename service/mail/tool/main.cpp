// vodazedad-mailscan [--check] FILE...: the guard service's mail scan on message files,
// for administrators and tests. Each file is rewritten (infected) or deleted (clean)
// exactly as the service would do it; the outcome is printed per file. --check only
// reports. The exit codes are in the usage text.
#include "common/engine/scan_engine.h"
#include "common/files.h"
#include "common/lang/language_manager.h"
#include "common/lang/local_text.h"
#include "common/paths.h"
#include "common/settings/settings_store.h"
#include "common/text.h"
#include "platform/atoms/file_atom_table.h"
#include "platform/dynlib/dynamic_library.h"
#include "platform/registry/sqlite_registry.h"
#include "platform/ui/console_user_interface.h"
#include "service/mail/engine_file_tester.h"
#include "service/mail/mail_request.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

using vz::LocalText;
using vz::text::fillTemplate;
using vz::mail::MailScanOutcome;

const char* const Usage =
    "Usage: vodazedad-mailscan [--check] FILE...\n"
    "\n"
    "Runs the guard service's mail scan on message files as the mail interceptor writes\n"
    "them, with the scan engine of the folder this program lies in. The whole message and\n"
    "every part are tested, and the file is then treated as the interceptor expects:\n"
    "  clean        the message file is DELETED (the interceptor takes a file that is gone\n"
    "               as a clean message)\n"
    "  infected     the subject gets a notice with the virus name, the contents of the\n"
    "               infected and of the attached parts are cut out, the file is rewritten,\n"
    "               and the atom \"qelavat\" of the runtime folder is added\n"
    "  not scanned  a bound was met (file size, multipart levels, parts, header fields,\n"
    "               boundary length) or the engine could not test a part wholly: the file\n"
    "               is left unchanged (the atom is still added when a virus was found)\n"
    "\n"
    "Options:\n"
    "  --check      only report: no file is rewritten or deleted, no atom is added\n"
    "  --help       this text\n"
    "\n"
    "Texts follow the machine-wide Language setting, as in the guard service.\n"
    "\n"
    "Exit code: 0 every file clean; 1 a virus was found (every file handled); 2 a file\n"
    "could not be opened, was not scanned wholly or was left unchanged, no engine is\n"
    "available, or the arguments are wrong.\n";

void printLine(const std::string& line, std::FILE* stream = stdout)
{
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
}

// A name from a mail, without the control characters that could steer the terminal.
std::string printable(std::string_view text)
{
    std::string out;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7f ? '?' : c;
    }
    return out;
}

// The outcome line of one file; answers the file's exit code.
int report(const std::string& path, const MailScanOutcome& outcome)
{
    using Disposition = MailScanOutcome::Disposition;
    const std::string virus = printable(outcome.lastVirusName);
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
        printLine(fillTemplate(LocalText("mailscaninfected", "%s: infected (%s), rewritten"), { path, virus }));
        break;
    case Disposition::NotScanned:
        printLine(fillTemplate(outcome.infected
                ? LocalText("mailscannotscannedinfected", "%s: infected (%s), not scanned completely, left unchanged")
                : LocalText("mailscanincomplete", "%s: not scanned completely, left unchanged"),
            { path, virus }));
        code = 2;
        break;
    case Disposition::LeftUnchanged:
        printLine(fillTemplate(outcome.infected
                ? LocalText("mailscanrewritefailed", "%s: infected (%s), could not be rewritten, left unchanged")
                : LocalText("mailscandeletefailed", "%s: clean, could not be deleted, left unchanged"),
            { path, virus }));
        code = 2;
        break;
    case Disposition::Checked:
        printLine(fillTemplate(outcome.infected ? LocalText("mailscancheckedinfected", "%s: infected (%s), checked only")
                                                : LocalText("mailscancheckedclean", "%s: clean, checked only"),
            { path, virus }));
        break;
    }
    for (const auto& attachment : outcome.attachments) {
        if (attachment.virusName.empty())
            continue;
        printLine("  " + printable(attachment.shownAs) + ": " + printable(attachment.virusName));
    }
    for (const auto& problem : outcome.problems)
        printLine("  " + printable(problem), stderr);
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    bool checkOnly = false;
    std::vector<std::string> paths;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (!optionsEnd && arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (!optionsEnd && arg == "--check") {
            checkOnly = true;
        } else if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.starts_with("--")) {
            std::fprintf(stderr, "vodazedad-mailscan: unknown option %s\n\n%s", argv[i], Usage);
            return 2;
        } else {
            paths.emplace_back(arg);
        }
    }

    // The guard service's language: the machine-wide setting, not this user's.
    const std::string appDir = vz::paths::withTrailingSeparator(vz::files::ownProgramFolder());
    std::string language;
    if (auto registry = vz::platform::openRegistry(vz::platform::RegistryLocation::fromEnvironment())) {
        vz::platform::ConsoleUserInterface ui;
        vz::SettingsStore settings(*registry, ui, "vodazedad-mailscan");
        language = settings.ReadMachineLanguage();
    }
    vz::installTextSource(vz::LanguageManager::start(appDir, language, vz::ServiceLanguageSlots));

    if (paths.empty()) {
        printLine(LocalText("mailscanusage", "Usage: vodazedad-mailscan [--check] FILE... (--help tells more)"), stderr);
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
    scan.setCheckOnly(checkOnly);
    vz::mail::MailRequest request(scan);

    int exitCode = 0;
    for (const std::string& path : paths) {
        request.run(path);
        exitCode = std::max(exitCode, report(path, request.outcome()));
    }
    return exitCode;
}
