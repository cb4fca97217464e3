#include "vodazedad/scan/scanner_options.h"

namespace vz::scan {

ParsedScannerOptions parseScannerOptions(const std::vector<std::string>& args)
{
    ScannerOptions o;
    int modes = 0;
    bool standardInput = false;
    bool quiet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto command = [&](ScanCommand c) {
            o.kind = ScannerOptions::Kind::Command;
            o.command = c;
            ++modes;
        };
        // "--name VALUE" or "--name=VALUE"; false when this is not the option.
        std::string value;
        std::string missing;
        auto valued = [&](const std::string& name) {
            if (a == name) {
                if (i + 1 >= args.size()) {
                    missing = name;
                    return true;
                }
                value = args[++i];
                return true;
            }
            if (a.rfind(name + "=", 0) == 0) {
                value = a.substr(name.size() + 1);
                return true;
            }
            return false;
        };
        if (a == "--help" || a == "-h") {
            o.kind = ScannerOptions::Kind::Help;
            return { o, {} };
        } else if (a == "--version" || a == "-V") {
            o.kind = ScannerOptions::Kind::Version;
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
        } else if (a == "-i" || a == "--infected") {
            if (!quiet)
                o.listing = Listing::Infected;
        } else if (a == "--quiet") {
            quiet = true;
            o.listing = Listing::Quiet;
        } else if (a == "--no-summary") {
            o.summary = false;
        } else if (a == "--json") {
            o.json = true;
        } else if (valued("--exclude-dir") || valued("--exclude")) {
            if (!missing.empty())
                return { std::nullopt, missing + " needs a pattern" };
            if (value.empty())
                return { std::nullopt, a.substr(0, a.find('=')) + " needs a pattern" };
            (a.rfind("--exclude-dir", 0) == 0 ? o.exclusions.folders : o.exclusions.files).push_back(value);
        } else if (valued("--action")) {
            if (!missing.empty())
                return { std::nullopt, "--action needs a value: clean, quarantine, delete or none" };
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
        } else if (a == "-") {
            standardInput = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return { std::nullopt, "unknown option " + a };
        } else {
            o.paths.push_back(a);
        }
    }
    if (modes > 1)
        return { std::nullopt, "give one of --memory, --system, --entire-system, --hard-drives, --removable, --cds" };
    if (modes == 1 && (!o.paths.empty() || standardInput))
        return { std::nullopt, "targets cannot be given together with a scan command option" };
    if (standardInput) {
        if (!o.paths.empty())
            return { std::nullopt, "\"-\" (standard input) is scanned on its own, without other targets" };
        o.kind = ScannerOptions::Kind::StandardInput;
    }
    if (modes == 0 && o.paths.empty() && !standardInput)
        return { std::nullopt, "nothing to scan: name files or folders, or a scan command option (see --help)" };
    return { o, {} };
}

std::string scannerUsage()
{
    return "Usage: vodazedad-scan [OPTION]... TARGET...\n"
           "       vodazedad-scan [OPTION]... --entire-system|--hard-drives|--removable|--cds|--system\n"
           "       vodazedad-scan [OPTION]... -\n"
           "       vodazedad-scan --memory | --version | --help\n"
           "\n"
           "Scans files and folders on demand with the scan engine of the installation folder\n"
           "(the folder this program lies in, unless the registry names another) and writes the\n"
           "scan report, the scan log (Reports/index.dat), the infection log (Reports/viridx.dat)\n"
           "and, for quarantined files, the quarantine index (Reports/qtidx.dat).\n"
           "Each file is listed on standard output as it is done:\n"
           "  PATH: OK                              nothing found\n"
           "  PATH: NAME FOUND (what was done)      an infection\n"
           "  PATH: REASON ERROR                    the file could not be tested\n"
           "then a summary. Control characters, backslashes and bytes that are not UTF-8 in\n"
           "names are shown escaped (\\n, \\t, \\\\, \\x1b, ...).\n"
           "\n"
           "Targets:\n"
           "  TARGET...          files and folders; folders are scanned with all their sub-folders\n"
           "                     (symbolic links to folders are not followed)\n"
           "  -                  standard input, alone: copied into a private unnamed temporary\n"
           "                     file and tested, listed as \"stdin\"; nothing is done to it\n"
           "  --entire-system    the root of every local drive (fixed, removable, CD/DVD, RAM)\n"
           "  --hard-drives      every fixed and removable drive\n"
           "  --removable        every removable drive\n"
           "  --cds              every CD/DVD drive\n"
           "  --system           the operating system's folder (/usr)\n"
           "  --memory           the program images of the running processes (up to 250)\n"
           "A walk from a drive's root stays on that drive's file system.\n"
           "\n"
           "Options:\n"
           "  --action ACTION    what to do with an infected file. Without it, the Action setting\n"
           "                     of this user's profile decides, which is quarantine unless changed.\n"
           "                     clean: repair the file; a file that cannot be repaired is left\n"
           "                       in place (\"Virus can't be removed\"); a repairable file whose\n"
           "                       repair fails is deleted\n"
           "                     quarantine: move it into Quarantine/AV<n>.QRT\n"
           "                     delete: delete it\n"
           "                     none: only report it\n"
           "  --exclude=PATTERN  leave out files matching PATTERN (repeatable)\n"
           "  --exclude-dir=PATTERN\n"
           "                     leave out folders matching PATTERN, with all under them (repeatable)\n"
           "                     PATTERN is a shell wildcard (fnmatch without flags: * matches any\n"
           "                     characters, \"/\" too; ?, [a-z], [!a-z], \\ quotes) matched against\n"
           "                     the full path and against the base name: --exclude='*.iso',\n"
           "                     --exclude-dir=.git, --exclude-dir='/home/*/.cache'\n"
           "  -i, --infected     list only infected files (and files that could not be tested)\n"
           "  --quiet            list only files that could not be tested, no summary; other\n"
           "                     errors still go to standard error\n"
           "  --no-summary       no summary after the files\n"
           "  --json             instead of the listing and summary, one JSON object on standard\n"
           "                     output: the counts (files_scanned, infections, removed, errors,\n"
           "                     records_not_written, aborted, scan_time_seconds, report) and\n"
           "                     \"findings\", one object per infected or untested file with path,\n"
           "                     virus, result (quarantined, cleaned, deleted, left, error), action\n"
           "                     (what was done, or the reason) and code (the report record's code).\n"
           "                     A byte of a name that is not UTF-8 is written as \\udcNN.\n"
           "  -V, --version      program, engine and definitions versions, signature count\n"
           "  -h, --help         this text\n"
           "\n"
           "Ctrl-C or SIGTERM stops the scan; what was found so far is recorded.\n"
           "On a terminal a progress line is shown on standard error.\n"
           "\n"
           "Exit status: 0 nothing found; 1 infections found; 2 otherwise when something went\n"
           "wrong: a file could not be tested, a target is missing (the others are scanned), a\n"
           "record could not be written, the scan was stopped, or the scan could not run.\n"
           "\n"
           "Environment: VODAZEDAD_REGISTRY_DIR relocates the registry hives (settings and\n"
           "statistics; else the user's are in $XDG_CONFIG_HOME/vodazedad, by default\n"
           "~/.config/vodazedad); VODAZEDAD_RUNTIME_DIR the runtime folder where the guard\n"
           "service is told which folders are being scanned.\n";
}

int scannerExitStatus(const ScanVerdict& v)
{
    if (v.infections > 0)
        return 1;
    return v.warnings > 0 || v.aborted || v.recordsNotWritten > 0 || v.missingTargets > 0 ? 2 : 0;
}

} // namespace vz::scan
