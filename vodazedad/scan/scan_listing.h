#pragma once

#include "vodazedad/scan/scan_observer.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vz::scan {

// How much of a scan the command-line scanner lists.
enum class Listing {
    All,      // every file: "PATH: OK", "PATH: NAME FOUND (...)", "PATH: REASON ERROR"
    Infected, // infected files and files that could not be tested
    Quiet,    // only files that could not be tested (and the errors on standard error)
};

// The line of one file (with its line end), or nothing when the listing leaves it out.
// `shownPath` is the path as the user knows it; every text is printed safely.
std::optional<std::string> findingLine(const FileFinding& finding, Listing listing, const std::string& shownPath);

// The counts a finished scan ends with.
struct ScanTotals {
    long filesScanned = 0;
    long infections = 0;
    long removed = 0;
    long errors = 0;          // errors and warnings on files
    long recordsNotWritten = 0;
    bool aborted = false;
    long seconds = 0;
    std::string reportPath;   // empty when there is none to read
};

// The summary lines as the scanner prints them after the files.
std::string textSummary(const ScanTotals& totals);

// One JSON object: the counts and "findings", one object per infected file or file that
// could not be tested (path, virus, result, action, code).
std::string jsonSummary(const ScanTotals& totals, const std::vector<FileFinding>& findings,
    const std::function<std::string(const std::string&)>& shownPath);

// The JSON name of what became of a file ("quarantined", "cleaned", "deleted", "left",
// "error", "clean").
std::string resultName(const FileFinding& finding);

// The scan job's observer in the command-line scanner: lists each file as it is done
// (or keeps it for the JSON summary) and says the first record that could not be
// written on standard error. `write` prints whole lines to a stream from the worker
// thread (the terminal screen keeps them apart from its progress line).
class ScanListing final : public ScanObserver {
public:
    using Writer = std::function<void(std::FILE* stream, const std::string& lines)>;
    ScanListing(Listing listing, bool json, Writer write);

    // The file that stands for standard input, shown as "stdin".
    void setStandardInputPath(std::string path) { m_stdinPath = std::move(path); }
    std::string shownPath(const std::string& path) const;

    void fileHandled(const FileFinding& finding) override;
    void recordNotWritten(const Error& error) override;

    std::vector<FileFinding> findings() const;
    long recordsNotWritten() const;

private:
    Listing m_listing;
    bool m_json;
    Writer m_write;
    std::string m_stdinPath;
    mutable std::mutex m_mutex;
    std::vector<FileFinding> m_findings;
    long m_recordsNotWritten = 0;
};

} // namespace vz::scan
