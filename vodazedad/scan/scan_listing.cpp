#include "vodazedad/scan/scan_listing.h"

#include "common/lang/local_text.h"
#include "common/printable_text.h"

namespace vz::scan {

std::optional<std::string> findingLine(const FileFinding& f, Listing listing, const std::string& shownPath)
{
    std::string path = printableText(shownPath);
    switch (f.kind) {
    case FileFinding::Kind::Clean:
        if (listing != Listing::All)
            return std::nullopt;
        return path + ": OK\n";
    case FileFinding::Kind::Infection: {
        if (listing == Listing::Quiet)
            return std::nullopt;
        std::string line = path + ": " + printableText(f.virusName) + " FOUND";
        if (!f.resultText.empty())
            line += " (" + printableText(f.resultText) + ")";
        return line + "\n";
    }
    case FileFinding::Kind::Problem:
        return path + ": " + printableText(f.resultText) + " ERROR\n";
    }
    return std::nullopt;
}

std::string textSummary(const ScanTotals& t)
{
    auto line = [](const std::string& label, long n, const char* unit = "") { return label + " " + std::to_string(n) + unit + "\n"; };
    std::string out = line(LocalText("FilesScanned", "Files scanned:"), t.filesScanned)
        + line(LocalText("InfectionsFound", "Total Infections found:"), t.infections)
        + line(LocalText("cliremoved", "Infections removed:"), t.removed)
        + line(LocalText("cliwarnings", "Errors and warnings:"), t.errors)
        + line(LocalText("ScanTime", "Scan time:"), t.seconds, " s");
    if (t.aborted)
        out += LocalText("ScanAbort", "Scanning aborted by user") + "\n";
    if (!t.reportPath.empty())
        out += LocalText("clireport", "Report:") + " " + printableText(t.reportPath) + "\n";
    return out;
}

std::string resultName(const FileFinding& f)
{
    if (f.kind == FileFinding::Kind::Clean)
        return "clean";
    if (f.kind == FileFinding::Kind::Problem)
        return "error";
    switch (f.code) {
    case records::RecordCode::Quarantined: return "quarantined";
    case records::RecordCode::Cleaned: return "cleaned";
    case records::RecordCode::Deleted: return "deleted";
    default: return "left";
    }
}

std::string jsonSummary(const ScanTotals& t, const std::vector<FileFinding>& findings,
    const std::function<std::string(const std::string&)>& shownPath)
{
    auto number = [](const char* name, long n) { return std::string("\"") + name + "\":" + std::to_string(n) + ","; };
    std::string out = "{" + number("files_scanned", t.filesScanned) + number("infections", t.infections)
        + number("removed", t.removed) + number("errors", t.errors) + number("records_not_written", t.recordsNotWritten)
        + "\"aborted\":" + (t.aborted ? "true" : "false") + "," + number("scan_time_seconds", t.seconds)
        + "\"report\":" + (t.reportPath.empty() ? std::string("null") : jsonString(t.reportPath)) + ",\"findings\":[";
    bool first = true;
    for (const auto& f : findings) {
        out += first ? "" : ",";
        first = false;
        out += "{\"path\":" + jsonString(shownPath(f.path)) + ",\"virus\":"
            + (f.kind == FileFinding::Kind::Infection ? jsonString(f.virusName) : std::string("null")) + ",\"result\":\""
            + resultName(f) + "\",\"action\":" + jsonString(f.resultText) + ",\"code\":" + std::to_string(static_cast<int>(f.code))
            + "}";
    }
    return out + "]}\n";
}

ScanListing::ScanListing(Listing listing, bool json, Writer write)
    : m_listing(listing)
    , m_json(json)
    , m_write(std::move(write))
{
}

std::string ScanListing::shownPath(const std::string& path) const
{
    return !m_stdinPath.empty() && path == m_stdinPath ? std::string("stdin") : path;
}

void ScanListing::fileHandled(const FileFinding& finding)
{
    if (m_json) {
        if (finding.kind != FileFinding::Kind::Clean) {
            std::lock_guard lock(m_mutex);
            m_findings.push_back(finding);
        }
        return;
    }
    if (auto line = findingLine(finding, m_listing, shownPath(finding.path)))
        m_write(stdout, *line);
}

void ScanListing::recordNotWritten(const Error& error)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_recordsNotWritten++ > 0)
            return; // said once: the rest most likely fail for the same reason
    }
    m_write(stderr, "vodazedad-scan: a record could not be written: " + printableText(error.text()) + "\n");
}

std::vector<FileFinding> ScanListing::findings() const
{
    std::lock_guard lock(m_mutex);
    return m_findings;
}

long ScanListing::recordsNotWritten() const
{
    std::lock_guard lock(m_mutex);
    return m_recordsNotWritten;
}

} // namespace vz::scan
