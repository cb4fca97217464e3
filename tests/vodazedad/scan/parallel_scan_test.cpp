// A scan that tests on several threads leaves exactly what a scan on one thread
// leaves: the same records in the same order, the same findings told in the same
// order, the same counts, and a cancel that stops at the same file.
#include "tests/vodazedad/scan/scan_job_fixture.h"

#include "common/settings/settings_names.h"

#include <mutex>

namespace vz::scan {

using namespace test_support;

namespace {

class FindingLog final : public ScanObserver {
public:
    void fileHandled(const FileFinding& f) override
    {
        std::lock_guard lock(mutex);
        lines.push_back(std::to_string(static_cast<int>(f.kind)) + " " + f.path + " " + f.virusName + " " + f.resultText);
    }
    void recordNotWritten(const Error&) override {}
    std::mutex mutex;
    std::vector<std::string> lines;
};

struct ScanRun {
    ScanJobOutcome outcome;
    std::vector<records::ReportRecord> records;
    std::vector<std::string> told;
};

} // namespace

class ParallelScanTest : public ScanJobTest {
protected:
    ParallelScanTest()
    {
        // Folders of clean files with infected ones and an engine warning among them.
        for (int f = 0; f < 4; ++f) {
            for (int i = 0; i < 40; ++i) {
                std::string name = "f" + std::to_string(f) + "/sub" + std::to_string(i % 3) + "/file" + std::to_string(i);
                bool infected = i % 11 == 3;
                data.write(name, infected ? testVirus() : "clean " + name);
            }
        }
        tester.warnings[data.file("f2/sub1/file7")] = 0x1000; // encrypted, cannot be tested
    }

    // Scans the tree with `threads` test threads; `cancelAt` handled files stop it.
    ScanRun scan(int threads, int cancelAt)
    {
        EXPECT_TRUE(profile.writeInt(settings::Options, settings::ScanThreads, threads).ok());
        FindingLog log;
        observer = &log;
        int handled = 0;
        ScanJob* current = nullptr;
        afterTest = [&](const std::string&) {
            if (++handled == cancelAt)
                current->cancel();
        };
        ScanJob job = makeJob(3);
        current = &job;
        ScanRun run;
        run.outcome = job.run(std::vector<std::string> { data.path() }, records::ScanType::Folder, totals);
        // The scan time depends on how long the job waited, not on what it found.
        for (const auto& r : report(run.outcome.reportPath)) {
            if (r.code != records::RecordCode::ScanTime)
                run.records.push_back(r);
        }
        run.told = log.lines;
        observer = nullptr;
        afterTest = nullptr;
        return run;
    }
};

TEST_F(ParallelScanTest, LeavesWhatAOneThreadScanLeaves)
{
    for (int cancelAt : { 0, 1, 57, 159 }) {
        SCOPED_TRACE("cancel at " + std::to_string(cancelAt));
        ScanRun serial = scan(1, cancelAt);
        for (int threads : { 2, 4 }) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            ScanRun parallel = scan(threads, cancelAt);
            ASSERT_EQ(parallel.records.size(), serial.records.size());
            for (std::size_t i = 0; i < serial.records.size(); ++i) {
                EXPECT_EQ(static_cast<int>(parallel.records[i].code), static_cast<int>(serial.records[i].code)) << i;
                EXPECT_EQ(parallel.records[i].firstText(), serial.records[i].firstText()) << i;
                EXPECT_EQ(parallel.records[i].secondText, serial.records[i].secondText) << i;
            }
            EXPECT_EQ(parallel.told, serial.told);
            EXPECT_EQ(parallel.outcome.filesHandled, serial.outcome.filesHandled);
            EXPECT_EQ(parallel.outcome.infections, serial.outcome.infections);
            EXPECT_EQ(parallel.outcome.warnings, serial.outcome.warnings);
            EXPECT_EQ(parallel.outcome.aborted, serial.outcome.aborted);
        }
        EXPECT_EQ(serial.outcome.aborted, cancelAt != 0);
        if (cancelAt == 0) {
            EXPECT_EQ(serial.outcome.filesHandled, 160);
            EXPECT_EQ(serial.outcome.infections, 16);
            EXPECT_EQ(serial.outcome.warnings, 1);
        } else {
            EXPECT_EQ(serial.outcome.filesHandled, cancelAt);
        }
    }
}

} // namespace vz::scan
