#include "common/records/record_value.h"

#include <limits>

namespace vz::records {

namespace {

bool needsEncoding(std::string_view value, Separators separators)
{
    if (!value.empty() && value.front() == ValueMarker)
        return true;
    for (char c : value) {
        if (c == '\n' || c == '\r')
            return true;
        if (c == '\t' && separators == Separators::LineEndsAndTabs)
            return true;
    }
    return false;
}

} // namespace

std::string encodeValue(std::string_view value, Separators separators)
{
    if (!needsEncoding(value, separators))
        return std::string(value);
    std::string out(1, ValueMarker);
    out.reserve(value.size() + 8);
    for (char c : value) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string decodeValue(std::string_view stored)
{
    if (stored.empty() || stored.front() != ValueMarker)
        return std::string(stored);
    stored.remove_prefix(1);
    std::string out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        char c = stored[i];
        if (c != '\\' || i + 1 == stored.size()) {
            out += c;
            continue;
        }
        char next = stored[++i];
        switch (next) {
        case '\\': out += '\\'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        default:
            // Not one of ours: keep it as it stands.
            out += '\\';
            out += next;
            break;
        }
    }
    return out;
}

long parseNumber(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '-' || line[i] == '+'))
        negative = line[i++] == '-';
    long value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        if (value > (std::numeric_limits<long>::max() - 9) / 10)
            break; // a number no writer produced; keep what fits
        value = value * 10 + (line[i] - '0');
    }
    return negative ? -value : value;
}

std::optional<LocalDateTime> parseRecordDateTime(std::string_view s)
{
    // dd/mm/yyyy hh:mm
    if (s.size() != 16 || s[2] != '/' || s[5] != '/' || s[10] != ' ' || s[13] != ':')
        return std::nullopt;
    auto num = [&](std::size_t pos, std::size_t len) -> int {
        int v = 0;
        for (std::size_t i = pos; i < pos + len; ++i) {
            if (s[i] < '0' || s[i] > '9')
                return -1;
            v = v * 10 + (s[i] - '0');
        }
        return v;
    };
    LocalDateTime t;
    t.day = num(0, 2);
    t.month = num(3, 2);
    t.year = num(6, 4);
    t.hour = num(11, 2);
    t.minute = num(14, 2);
    t.second = 0;
    if (t.day < 1 || t.day > 31 || t.month < 1 || t.month > 12 || t.year < 0 || t.hour < 0 || t.hour > 23
        || t.minute < 0 || t.minute > 59)
        return std::nullopt;
    return t;
}

} // namespace vz::records
