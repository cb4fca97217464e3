// The test pipeline hands files on in the order they came, whatever order the test
// threads finish them in, stops at the abort flag, and never runs ahead of its window.
#include "vodazedad/scan/test_pipeline.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>

namespace vz::scan {
namespace {

TestedFile numbered(int n)
{
    TestedFile f;
    f.path = std::to_string(n);
    return f;
}

TEST(TestPipeline, HandsFilesOnInTheirOrderWhateverOrderTheirTestsEnd)
{
    for (unsigned threads : { 1u, 2u, 5u }) {
        std::atomic<bool> abort { false };
        std::vector<std::string> handed;
        std::atomic<int> testing { 0 };
        std::atomic<int> mostAtOnce { 0 };
        {
            TestPipeline pipeline(threads,
                [&](TestedFile& f) {
                    int now = ++testing;
                    int seen = mostAtOnce.load();
                    while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
                    }
                    // Later files often finish first.
                    std::this_thread::sleep_for(std::chrono::microseconds((std::stoi(f.path) * 7919) % 300));
                    f.flags = std::stoi(f.path) * 2;
                    --testing;
                },
                [&](TestedFile& f) {
                    EXPECT_EQ(f.flags, std::stoi(f.path) * 2); // tested before it is handed on
                    handed.push_back(f.path);
                },
                abort);
            for (int i = 0; i < 300; ++i)
                pipeline.add(numbered(i));
            EXPECT_FALSE(pipeline.finish());
        }
        ASSERT_EQ(handed.size(), 300u) << threads;
        for (int i = 0; i < 300; ++i)
            EXPECT_EQ(handed[static_cast<std::size_t>(i)], std::to_string(i));
        EXPECT_LE(mostAtOnce.load(), static_cast<int>(threads));
    }
}

TEST(TestPipeline, TheAbortFlagStopsAfterTheFileThatSawIt)
{
    std::atomic<bool> abort { false };
    std::vector<std::string> handed;
    std::set<std::string> tested;
    std::mutex mutex;
    TestPipeline pipeline(3,
        [&](TestedFile& f) {
            std::lock_guard lock(mutex);
            tested.insert(f.path);
        },
        [&](TestedFile& f) {
            handed.push_back(f.path);
            if (f.path == "41")
                abort = true;
        },
        abort);
    for (int i = 0; i < 200; ++i)
        pipeline.add(numbered(i));
    EXPECT_TRUE(pipeline.finish());
    ASSERT_EQ(handed.size(), 42u);
    EXPECT_EQ(handed.back(), "41");
    // Tests ran ahead by at most the window, never through the whole walk.
    std::lock_guard lock(mutex);
    EXPECT_LT(tested.size(), 200u);
}

} // namespace
} // namespace vz::scan
