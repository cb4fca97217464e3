#include "tests/outside/savapi/engine_samples.h"

#include "tests/support/temp_dir.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace vz::test::engine {
namespace {

using namespace vz::engine;

// A scan worker and the window thread test with one engine at the same time.
TEST(EngineThreads, OneEngineAnswersSeveralThreadsAtOnce)
{
    auto engine = startEngine(builtEngine());
    ASSERT_TRUE(engine);
    TempDir dir;
    const std::string clean = dir.write("clean", cleanHost());
    const std::string infected = dir.write("infected", standardTestFile());
    std::atomic<int> wrong { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                const bool pickInfected = (i + t) % 2 == 0;
                const std::string path = (i % 5 == 0) ? testFile("clam.zip") : pickInfected ? infected : clean;
                const bool expectVirus = (i % 5 == 0) || pickInfected;
                auto record = makeFileTestRecord(path, Option::Service);
                const int answer = engine->testFile(*record);
                if (answer != (expectVirus ? ResultFlag::Virus : 0))
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace vz::test::engine
