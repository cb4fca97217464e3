// The main of every test binary. Before any test runs, the registry hives, the runtime
// folder and the user's configuration folder are pointed into a temporary folder of
// this process, so no test ever touches the machine's real ones.
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    vz::test::TempDir home;
    ::setenv("VODAZEDAD_REGISTRY_DIR", home.mkdir("registry").c_str(), 1);
    ::setenv("VODAZEDAD_RUNTIME_DIR", home.mkdir("run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.mkdir("config").c_str(), 1);
    return RUN_ALL_TESTS();
}
