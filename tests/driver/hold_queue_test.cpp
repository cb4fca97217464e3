#include "driver/hold_queue.h"
#include "driver/simulated/simulated_kernel.h"

#include <gtest/gtest.h>

namespace vz::driver::test {

TEST(HoldQueue, KeepsArrivalOrderUpToItsLimitAndSetsCancellingOpensAside)
{
    sim::SimulatedKernel kernel;
    std::vector<std::unique_ptr<sim::SimRequest>> requests;
    HoldQueue queue;
    for (std::size_t i = 0; i <= kHoldQueueLimit; ++i) {
        requests.push_back(std::make_unique<sim::SimRequest>(kernel, MajorFunction::Create));
        sim::SimRequest& request = *requests.back();
        const bool appended = queue.append(HeldOpen { &request, nullptr, nullptr, {} }, [&] { request.setCancelRoutine([](Request&) {}); });
        EXPECT_EQ(appended, i < kHoldQueueLimit) << i;
    }
    EXPECT_EQ(queue.count(), kHoldQueueLimit);

    // The platform is cancelling the second open: the worker must leave it alone, and
    // the cancel routine still finds it.
    EXPECT_TRUE(requests[1]->cancel());
    auto taken = queue.takeAll();
    ASSERT_EQ(taken.size(), kHoldQueueLimit);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].open.request, requests[i].get());
        EXPECT_EQ(taken[i].leftToCancelRoutine, i == 1) << i;
    }
    EXPECT_EQ(queue.count(), 0u);
    ASSERT_TRUE(queue.removeForCancel(*requests[1]).has_value());
    EXPECT_FALSE(queue.removeForCancel(*requests[1]).has_value());
    EXPECT_FALSE(queue.removeForCancel(*requests[0]).has_value());
}

} // namespace vz::driver::test
