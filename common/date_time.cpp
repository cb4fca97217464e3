#include "common/date_time.h"

#include "common/text.h"

#include <chrono>
#include <ctime>

namespace vz {

LocalDateTime SystemClock::now() const
{
    std::time_t t = std::time(nullptr);
    std::tm tm {};
    localtime_r(&t, &tm);
    return LocalDateTime { tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_wday };
}

std::uint64_t SystemClock::tickMs() const
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

int daysInMonth(int year, int month)
{
    static constexpr int Days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12)
        return 31; // not a month: carry as the longest would
    return month == 2 && leap ? 29 : Days[month - 1];
}

} // namespace

LocalDateTime secondLater(const LocalDateTime& t)
{
    LocalDateTime n = t;
    if (++n.second < 60)
        return n;
    n.second = 0;
    if (++n.minute < 60)
        return n;
    n.minute = 0;
    if (++n.hour < 24)
        return n;
    n.hour = 0;
    n.weekday = (n.weekday + 1) % 7;
    if (++n.day <= daysInMonth(n.year, n.month))
        return n;
    n.day = 1;
    if (++n.month <= 12)
        return n;
    n.month = 1;
    ++n.year;
    return n;
}

namespace stamps {

std::string recordDate(const LocalDateTime& t)
{
    return text::format("%02d/%02d/%04d", t.day, t.month, t.year);
}

std::string recordTime(const LocalDateTime& t)
{
    return text::format(" %02d:%02d", t.hour, t.minute);
}

std::string recordDateTime(const LocalDateTime& t)
{
    return recordDate(t) + recordTime(t);
}

std::string registryStamp(const LocalDateTime& t)
{
    return text::format("%04d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute);
}

std::optional<LocalDateTime> parseRegistryStamp(std::string_view s)
{
    if (s.size() != 12)
        return std::nullopt;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    auto num = [&](std::size_t pos, std::size_t len) {
        int v = 0;
        for (std::size_t i = pos; i < pos + len; ++i)
            v = v * 10 + (s[i] - '0');
        return v;
    };
    LocalDateTime t;
    t.year = num(0, 4);
    t.month = num(4, 2);
    t.day = num(6, 2);
    t.hour = num(8, 2);
    t.minute = num(10, 2);
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59)
        return std::nullopt;
    // Weekday from the calendar (mktime normalises and fills it in).
    std::tm tm {};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    std::mktime(&tm);
    t.weekday = tm.tm_wday;
    return t;
}

} // namespace stamps

} // namespace vz
