#include "tests/outside/savapi/engine_samples.h"

#include "common/result.h"

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::test::engine {
namespace {

using namespace vz::engine;

// A child process holding a region of memory until it is told to go.
class ChildHolding {
public:
    explicit ChildHolding(const std::string& content) : m_region(content)
    {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(m_release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            char c = 'r';
            vz::ignoreError(::write(ready[1], &c, 1), "a parent that cannot hear it fails its own read");
            vz::ignoreError(::read(m_release[0], &c, 1), "any end of the pipe ends the wait");
            ::_exit(0);
        }
        ::close(ready[1]);
        char c;
        vz::ignoreError(::read(ready[0], &c, 1), "a child that died is seen by the test itself");
        ::close(ready[0]);
    }
    ~ChildHolding()
    {
        if (m_pid > 0) {
            char c = 'q';
            vz::ignoreError(::write(m_release[1], &c, 1), "closing the pipe releases the child as well");
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t pid() const { return m_pid; }
    // The same address in the child, which is a copy of this process.
    std::uint64_t address() const { return reinterpret_cast<std::uintptr_t>(m_region.data()); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(m_region.size()); }

private:
    std::string m_region;
    pid_t m_pid = -1;
    int m_release[2] { -1, -1 };
};

TEST(EngineMemory, TestsTheImageOfARunningProcess)
{
    auto engine = startEngine(builtEngine());
    ASSERT_TRUE(engine);
    ChildHolding infected(standardTestFile() + std::string(4000, ' '));
    ChildHolding clean(cleanHost());
    ASSERT_GT(infected.pid(), 0);
    ASSERT_GT(clean.pid(), 0);

    MemoryTestRecord record = makeMemoryTestRecord(static_cast<std::uint64_t>(infected.pid()), infected.address(), infected.size(), Option::Service);
    EXPECT_EQ(engine->testMemory(record), ResultFlag::Virus);
    EXPECT_EQ(virusName(record), "Vz-Test.StandardFile");
    EXPECT_EQ(record.baseAddress, static_cast<std::uint32_t>(infected.address()));

    record = makeMemoryTestRecord(static_cast<std::uint64_t>(clean.pid()), clean.address(), clean.size(), Option::Service);
    EXPECT_EQ(engine->testMemory(record), 0);
    EXPECT_EQ(record.hasVirusName, 0);
}

TEST(EngineMemory, ReportsAProcessThatIsGoneOrUnmappedMemory)
{
    auto engine = startEngine(builtEngine());
    ASSERT_TRUE(engine);
    pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);

    MemoryTestRecord record = makeMemoryTestRecord(static_cast<std::uint64_t>(gone), 0x400000, 4096, 0);
    EXPECT_EQ(engine->testMemory(record), ResultFlag::Error);
    EXPECT_EQ(record.errorCode, 23);
    EXPECT_EQ(record.errorDetail, ENOENT);

    // Nothing is mapped at the lowest page of any process.
    record = makeMemoryTestRecord(static_cast<std::uint64_t>(::getpid()), 0, 4096, 0);
    EXPECT_EQ(engine->testMemory(record), ResultFlag::Error);
    EXPECT_EQ(record.errorCode, 24);
}

} // namespace
} // namespace vz::test::engine
