#pragma once

#include "common/date_time.h"
#include "common/records/record_location.h"
#include "tests/support/temp_dir.h"

#include <string>

namespace vz::records::test {

// A clock that says what the test sets.
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalDateTime t) : time(t) {}
    LocalDateTime now() const override { return time; }
    std::uint64_t tickMs() const override { return 0; }
    LocalDateTime time;
};

// 5 March 2006, 14:07:09.
inline LocalDateTime sampleTime()
{
    LocalDateTime t;
    t.year = 2006;
    t.month = 3;
    t.day = 5;
    t.hour = 14;
    t.minute = 7;
    t.second = 9;
    return t;
}

// An installation folder with Reports/ and Quarantine/, as the installation leaves it.
struct Installation {
    Installation()
    {
        dir.mkdir("Reports");
        dir.mkdir("Quarantine");
    }
    vz::test::TempDir dir;
    RecordLocation location { dir.path() };
};

} // namespace vz::records::test
