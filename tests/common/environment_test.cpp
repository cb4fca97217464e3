#include "common/environment.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

namespace vz {

TEST(Environment, RuntimeFolderDefaultsAndRelocates)
{
    {
        test::ScopedEnv env(environment::RuntimeDirVariable, "");
        EXPECT_EQ(environment::runtimeFolder(), "/run/vodazedad");
    }
    {
        test::ScopedEnv env(environment::RuntimeDirVariable, "/tmp/vz-run//");
        EXPECT_EQ(environment::runtimeFolder(), "/tmp/vz-run");
    }
}

} // namespace vz
