#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vz {

// A local calendar time as the record files and the registry stamps use it.
struct LocalDateTime {
    int year = 1970;
    int month = 1;   // 1-12
    int day = 1;     // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 4; // 0 Sunday .. 6 Saturday

    bool operator==(const LocalDateTime&) const = default;
};

// Where the logic asks for the time. Tests inject their own.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
    // Milliseconds from an arbitrary start, never going back.
    virtual std::uint64_t tickMs() const = 0;
};

class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
    std::uint64_t tickMs() const override;
};

// The same local time one second later, carried into minutes, hours, days, months
// and years by the calendar (leap years included); the weekday moves with the day.
LocalDateTime secondLater(const LocalDateTime& t);

namespace stamps {

// "%02d/%02d/%04d": day, month, year, as in the record files.
std::string recordDate(const LocalDateTime&);
// " %02d:%02d": hour and minute with the leading blank of the record files.
std::string recordTime(const LocalDateTime&);
// "%02d/%02d/%04d %02d:%02d": date and time in one text.
std::string recordDateTime(const LocalDateTime&);
// "%04d%02d%02d%02d%02d": year, month, day, hour, minute, as in the registry.
std::string registryStamp(const LocalDateTime&);
// Parses a registry stamp; nothing for a text that is not twelve digits of a valid time.
std::optional<LocalDateTime> parseRegistryStamp(std::string_view);

} // namespace stamps

} // namespace vz
