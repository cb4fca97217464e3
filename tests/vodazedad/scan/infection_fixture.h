#pragma once

#include "common/date_time.h"
#include "common/files.h"
#include "common/records/record_location.h"
#include "tests/support/temp_dir.h"
#include "vodazedad/scan/infected_file.h"
#include "vodazedad/scan/quarantine_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vz::scan::test {

class FixedClock final : public Clock {
public:
    LocalDateTime now() const override
    {
        LocalDateTime t;
        t.year = 2006;
        t.month = 3;
        t.day = 5;
        t.hour = 14;
        t.minute = 7;
        return t;
    }
    std::uint64_t tickMs() const override { return 0; }
};

// Stands in for the engine's repair: answers the configured error code and, for a
// successful repair, cleans the file in place as the engine does.
class FakeRepairer final : public FileRepairer {
public:
    std::uint16_t repair(const InfectedFile& file) override
    {
        repaired.push_back(file.path);
        if (onRepair)
            onRepair(file.path);
        if (errorCode == 0) {
            EXPECT_TRUE(files::replaceFile(file.path, "clean").ok());
        }
        return errorCode;
    }

    std::uint16_t errorCode = 0;
    std::function<void(const std::string&)> onRepair;
    std::vector<std::string> repaired;
};

// An installation folder with Reports/ and Quarantine/ and a folder of scanned files.
struct Installation {
    Installation()
    {
        dir.mkdir("Reports");
        dir.mkdir("Quarantine");
        dir.mkdir("scanned");
    }
    std::string infected(const std::string& name, const std::string& content = "X5O!P%@AP infected")
    {
        return dir.write("scanned/" + name, content);
    }
    std::string quarantined(const std::string& name) const { return dir.file("Quarantine/" + name); }

    vz::test::TempDir dir;
    records::RecordLocation location { dir.path() };
    FixedClock clock;
    QuarantineStore store { location, clock };
};

} // namespace vz::scan::test
