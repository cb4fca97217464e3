// vodazedad-reg: the administrator's tool for the two registry hives.
#include "platform/registry/sqlite_registry.h"
#include "tools/reg/reg_command.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "/?") {
        std::fputs(vz::tools::regUsage().c_str(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    auto registry = vz::platform::openRegistry(vz::platform::RegistryLocation::fromEnvironment());
    auto outcome = vz::tools::runRegCommand(*registry, args);
    std::fputs(outcome.out.c_str(), stdout);
    std::fputs(outcome.err.c_str(), stderr);
    return outcome.exitCode;
}
