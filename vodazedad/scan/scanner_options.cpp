#include "vodazedad/scan/scanner_options.h"

namespace vz::scan {

ParsedScannerOptions parseScannerOptions(const std::vector<std::string>& args)
{
    ScannerOptions o;
    int modes = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto command = [&](ScanCommand c) {
            o.kind = ScannerOptions::Kind::Command;
            o.command = c;
            ++modes;
        };
        if (a == "--help" || a == "-h") {
            o.kind = ScannerOptions::Kind::Help;
            return { o, {} };
        } else if (a == "--memory") {
            o.kind = ScannerOptions::Kind::Memory;
            ++modes;
        } else if (a == "--system") {
            command(ScanCommand::SystemAreas);
        } else if (a == "--entire-system") {
            command(ScanCommand::EntireSystem);
        } else if (a == "--hard-drives") {
            command(ScanCommand::HardDrives);
        } else if (a == "--removable") {
            command(ScanCommand::RemovableMedia);
        } else if (a == "--cds") {
            command(ScanCommand::OpticalMedia);
        } else if (a == "--action" || a.rfind("--action=", 0) == 0) {
            std::string value;
            if (a == "--action") {
                if (i + 1 >= args.size())
                    return { std::nullopt, "--action needs a value: clean, quarantine, delete or none" };
                value = args[++i];
            } else {
                value = a.substr(9);
            }
            if (value == "clean")
                o.action = 0;
            else if (value == "quarantine")
                o.action = 1;
            else if (value == "delete")
                o.action = 2;
            else if (value == "none")
                o.action = 3;
            else
                return { std::nullopt, "unknown action \"" + value + "\": use clean, quarantine, delete or none" };
        } else if (a == "--") {
            o.paths.insert(o.paths.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            return { std::nullopt, "unknown option " + a };
        } else {
            o.paths.push_back(a);
        }
    }
    if (modes > 1)
        return { std::nullopt, "give one of --memory, --system, --entire-system, --hard-drives, --removable, --cds" };
    if (modes == 1 && !o.paths.empty())
        return { std::nullopt, "targets cannot be given together with a scan command option" };
    if (modes == 0 && o.paths.empty())
        return { std::nullopt, "nothing to scan: name files or folders, or a scan command option (see --help)" };
    return { o, {} };
}

std::string scannerUsage()
{
    return "Usage: vodazedad-scan [--action ACTION] TARGET...\n"
           "       vodazedad-scan [--action ACTION] --entire-system|--hard-drives|--removable|--cds|--system\n"
           "       vodazedad-scan --memory\n"
           "\n"
           "Scans files and folders on demand with the scan engine of the installation folder\n"
           "(the folder this program lies in, unless the registry names another) and writes the\n"
           "scan report, the scan log (Reports/index.dat), the infection log (Reports/viridx.dat)\n"
           "and, for quarantined files, the quarantine index (Reports/qtidx.dat).\n"
           "\n"
           "Targets:\n"
           "  TARGET...          files and folders; folders are scanned with all their sub-folders\n"
           "                     (symbolic links to folders are not followed)\n"
           "  --entire-system    the root of every local drive (fixed, removable, CD/DVD, RAM)\n"
           "  --hard-drives      every fixed and removable drive\n"
           "  --removable        every removable drive\n"
           "  --cds              every CD/DVD drive\n"
           "  --system           the operating system's folder (/usr)\n"
           "  --memory           the program images of the running processes (up to 250)\n"
           "A walk from a drive's root stays on that drive's file system.\n"
           "\n"
           "Options:\n"
           "  --action ACTION    what to do with an infected file, instead of the Action setting of\n"
           "                     this user's profile: clean (repair; files that cannot be repaired\n"
           "                     are deleted), quarantine (move into Quarantine/AV<n>.QRT), delete,\n"
           "                     or none (only report)\n"
           "  --help             this text\n"
           "\n"
           "Ctrl-C cancels the scan; what was found so far is recorded.\n"
           "On a terminal a progress line is shown on standard error.\n"
           "\n"
           "Exit status: 0 nothing found, 1 infections found, 2 errors (errors or warnings on\n"
           "files, or the scan could not run).\n"
           "\n"
           "Environment: VODAZEDAD_REGISTRY_DIR relocates the registry hives (settings and\n"
           "statistics); VODAZEDAD_RUNTIME_DIR the runtime folder where the guard service is told\n"
           "which folders are being scanned.\n";
}

int scannerExitStatus(long infections, long warnings)
{
    if (infections > 0)
        return 1;
    return warnings > 0 ? 2 : 0;
}

} // namespace vz::scan
