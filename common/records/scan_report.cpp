#include "common/records/scan_report.h"

#include "common/files.h"
#include "common/lang/local_text.h"
#include "common/records/record_lines.h"
#include "common/records/record_value.h"
#include "common/records/scan_log.h"
#include "common/text.h"

#include <cerrno>
#include <optional>

namespace vz::records {

namespace {

// The record code in the first two characters; nothing when they are not two digits.
std::optional<int> codeOf(std::string_view line)
{
    if (line.size() < 2 || line[0] < '0' || line[0] > '9' || line[1] < '0' || line[1] > '9')
        return std::nullopt;
    return (line[0] - '0') * 10 + (line[1] - '0');
}

bool isSecondLine(std::string_view line)
{
    return codeOf(line) == static_cast<int>(RecordCode::SecondLine);
}

std::string_view textOf(std::string_view line)
{
    return line.size() > 2 ? line.substr(2) : std::string_view();
}

std::vector<std::string> decodeFields(std::string_view text)
{
    std::vector<std::string> fields;
    for (;;) {
        auto tab = text.find('\t');
        fields.push_back(decodeValue(text.substr(0, tab)));
        if (tab == std::string_view::npos)
            break;
        text.remove_prefix(tab + 1);
    }
    return fields;
}

} // namespace

std::string ReportRecord::firstText() const
{
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            out += '\t';
        out += fields[i];
    }
    return out;
}

ReportRecord descriptionRecord(const std::vector<std::string>& targets)
{
    return { RecordCode::Description, { LocalText("Scan of", "Scan of ") + joinTargets(targets) }, {} };
}

ReportRecord startRecord(const LocalDateTime& t)
{
    return { RecordCode::Start, { text::format("%02d.%02d.%04d  %02d:%02d", t.day, t.month, t.year, t.hour, t.minute) }, {} };
}

ReportRecord fileRecord(RecordCode code, std::string path, std::string virusName, std::string resultText)
{
    std::string second = path;
    return { code, { std::move(path), std::move(virusName), std::move(resultText) }, std::move(second) };
}

ReportRecord problemRecord(std::string path, std::string reason)
{
    std::string second = path;
    return { RecordCode::Problem, { std::move(path), {}, std::move(reason) }, std::move(second) };
}

ReportRecord abortRecord(std::string firstText, std::string secondText)
{
    return { RecordCode::Abort, { std::move(firstText) }, std::move(secondText) };
}

ReportRecord userAbortRecord()
{
    return abortRecord(LocalText("ScanAbort", "Scanning aborted by user"), {});
}

ReportRecord filesHandledRecord(long count)
{
    return { RecordCode::FilesHandled, { text::format("%ld", count) }, {} };
}

ReportRecord scanTimeRecord(long seconds)
{
    return { RecordCode::ScanTime, { text::format("%s %ld s", LocalText("ScanTime", "Scan time:").c_str(), seconds) }, {} };
}

std::vector<std::string> storeReportRecord(const ReportRecord& record)
{
    std::string first = text::format("%02d", static_cast<int>(record.code));
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
        if (i)
            first += '\t';
        first += encodeValue(record.fields[i], Separators::LineEndsAndTabs);
    }
    return { first, "09" + encodeValue(record.secondText, Separators::LineEndsAndTabs) };
}

Result<void> appendReportRecord(const std::string& reportPath, const ReportRecord& record)
{
    return detail::appendEntry(reportPath, storeReportRecord(record));
}

Result<std::vector<ReportRecord>> readScanReport(const std::string& reportPath)
{
    auto lines = detail::readRecordLines(reportPath);
    if (!lines)
        return lines.error();
    // A record is a line with its code and then its "09" line. Anything else (a
    // record cut short by a crash or a full disk, a stray second line) is passed over
    // line by line, so the records after it are read as they were written.
    std::vector<ReportRecord> records;
    for (std::size_t i = 0; i < lines->size() && !(*lines)[i].empty(); ++i) {
        const std::string& line = (*lines)[i];
        auto code = codeOf(line);
        if (!code || isSecondLine(line) || i + 1 >= lines->size() || !isSecondLine((*lines)[i + 1]))
            continue;
        const std::string& second = (*lines)[++i];
        records.push_back({ static_cast<RecordCode>(*code), decodeFields(textOf(line)), decodeValue(textOf(second)) });
    }
    return records;
}

Result<std::string> createScanReport(const RecordLocation& location, const LocalDateTime& start)
{
    // An hour of names: far more scans than can start in one second, and a bound
    // for a folder that refuses every name.
    constexpr int MaxNamesTried = 3600;
    LocalDateTime when = start;
    Error taken;
    for (int tried = 0; tried < MaxNamesTried; ++tried, when = secondLater(when)) {
        std::string path = location.reportPath(when);
        auto created = files::createExclusive(path);
        if (created)
            return path;
        if (created.error().code != EEXIST)
            return created.error();
        taken = created.error();
    }
    return taken;
}

} // namespace vz::records
