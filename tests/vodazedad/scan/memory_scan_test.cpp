#include "tests/vodazedad/scan/scan_job_fixture.h"

#include "common/files.h"
#include "platform/processes/proc_process_list.h"
#include "vodazedad/scan/memory_scan.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::scan {

using namespace test_support;

namespace {

// A running copy of the test program whose image carries a signature.
class InfectedProcess {
public:
    InfectedProcess()
    {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            ::execl(VZ_INFECTED_PROCESS, VZ_INFECTED_PROCESS, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_stdin = in[1];
        char buf[16] = {};
        m_ready = ::read(out[0], buf, sizeof buf - 1) > 0 && std::string(buf).rfind("ready", 0) == 0;
        ::close(out[0]);
    }
    ~InfectedProcess()
    {
        if (m_stdin >= 0)
            ::close(m_stdin);
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
    }
    bool ready() const { return m_ready; }
    std::uint32_t pid() const { return static_cast<std::uint32_t>(m_pid); }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    bool m_ready = false;
};

// The real process list, narrowed to the processes a test names (a whole machine may
// run hundreds of large processes).
class ChosenProcesses final : public ProcessList {
public:
    explicit ChosenProcesses(std::vector<std::uint32_t> ids) : m_ids(std::move(ids)) {}
    Result<std::vector<std::uint32_t>> processIds(std::size_t maxCount) override
    {
        std::vector<std::uint32_t> ids = m_ids;
        if (ids.size() > maxCount)
            ids.resize(maxCount);
        return ids;
    }
    std::optional<std::string> firstModuleBaseName(std::uint32_t pid) override { return m_real.firstModuleBaseName(pid); }
    std::optional<ProcessImage> moduleInformation(std::uint32_t pid) override { return m_real.moduleInformation(pid); }

private:
    std::vector<std::uint32_t> m_ids;
    platform::ProcProcessList m_real;
};

class MemoryScanTest : public ScanJobTest {
protected:
    MemoryScanOutcome scan(ProcessList& list)
    {
        return runMemoryScan(MemoryScanContext { appDir(), tester, list, screen, ui, clock, "Vantrelo Vodazedad" }, state, totals);
    }
    ScanJobState state;
};

} // namespace

TEST_F(MemoryScanTest, FindsTheProcessWhoseImageCarriesASignature)
{
    InfectedProcess infected;
    ASSERT_TRUE(infected.ready());
    ChosenProcesses list({ static_cast<std::uint32_t>(::getpid()), infected.pid(), 999999999 });
    auto outcome = scan(list);
    EXPECT_EQ(outcome.processesScanned, 2); // the process that does not exist is skipped
    EXPECT_EQ(outcome.infections, 1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_NE(ui.shown[0].text.find(" found in process vz_infected_process"), std::string::npos) << ui.shown[0].text;
    EXPECT_EQ(ui.shown[0].text.rfind("Virus ", 0), 0u);
    EXPECT_EQ(ui.shown[0].caption, "Vantrelo Vodazedad");

    auto log = scanLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].scanType(), records::ScanType::Memory);
    EXPECT_EQ(log[0].status(), records::ScanStatus::InfectionsFound);
    EXPECT_EQ(log[0].task, "Memory scan");
    EXPECT_EQ(log[0].infections, 1);
    EXPECT_EQ(log[0].warnings, 0);
    // The entry names a report that is never written.
    EXPECT_FALSE(files::exists(log[0].reportPath));
    EXPECT_EQ(totals.scanCount, 1);
    EXPECT_EQ(totals.foundCount, 0); // a memory scan does not raise the infections total
    EXPECT_TRUE(screen.homeShown);
}

TEST_F(MemoryScanTest, CleanProcessesGiveTheAllClear)
{
    ChosenProcesses list({ static_cast<std::uint32_t>(::getpid()) });
    auto outcome = scan(list);
    EXPECT_EQ(outcome.processesScanned, 1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "No viruses found in memory !");
    EXPECT_EQ(scanLog().at(0).status(), records::ScanStatus::Completed);
    EXPECT_EQ(screen.lastStatistics.labels.substr(0, 18), "Processes scanned:");
    EXPECT_EQ(screen.lastActivity.text.rfind("Scanning process : ", 0), 0u);
}

TEST_F(MemoryScanTest, NoProcessesMeansNoMessageAndNoRecord)
{
    ChosenProcesses list({});
    scan(list);
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_TRUE(scanLog().empty());
    EXPECT_EQ(totals.scanCount, 0);
}

TEST_F(MemoryScanTest, AtMost250ProcessesAreAskedFor)
{
    struct Counting final : ProcessList {
        Result<std::vector<std::uint32_t>> processIds(std::size_t maxCount) override
        {
            asked = maxCount;
            return std::vector<std::uint32_t> {};
        }
        std::optional<std::string> firstModuleBaseName(std::uint32_t) override { return std::nullopt; }
        std::optional<ProcessImage> moduleInformation(std::uint32_t) override { return std::nullopt; }
        std::size_t asked = 0;
    } counting;
    scan(counting);
    EXPECT_EQ(counting.asked, 250u);
}

} // namespace vz::scan
