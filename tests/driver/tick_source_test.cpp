#include "driver/simulated/manual_tick_source.h"
#include "driver/tick_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vz::driver::test {

TEST(TickSources, StopReleasesEveryWaiterAndLaterWaitsReturnAtOnce)
{
    SteadyTickSource steady;
    sim::ManualTickSource manual;
    for (TickSource* source : { static_cast<TickSource*>(&steady), static_cast<TickSource*>(&manual) }) {
        std::atomic<bool> released { false };
        std::thread waiter([&] {
            // A pause of an hour ends only through stop().
            source->pause(std::chrono::hours(1));
            released.store(true);
        });
        source->stop();
        waiter.join();
        EXPECT_TRUE(released.load());
        EXPECT_FALSE(source->waitTick());
    }
}

TEST(TickSources, ManualTicksAreHandledOneByOneAndMoveVirtualTime)
{
    sim::ManualTickSource ticks;
    std::atomic<int> handled { 0 };
    std::thread worker([&] {
        while (ticks.waitTick())
            ++handled;
    });
    ticks.advance(3);
    // advance() returns only when the worker is back waiting: all three are counted.
    EXPECT_EQ(handled.load(), 3);
    EXPECT_EQ(ticks.nowMs(), 30);

    std::atomic<bool> paused { false };
    std::thread pauser([&] {
        ticks.pause(kAnswerLook);
        paused.store(true);
    });
    const int used = ticks.advanceUntil([&] { return paused.load(); }, 100000000);
    pauser.join();
    EXPECT_GE(used, 5);
    ticks.stop();
    worker.join();
}

} // namespace vz::driver::test
