// Starts the engine of an installation folder through the binding and tests every
// regular file under a folder, as a scan worker does:
//   vz_engine_bench APPDIR FOLDER [OPTIONS]
// Prints one line: files, bytes, seconds of the start and of the scan, findings.
#include "common/engine/scan_engine.h"
#include "platform/dynlib/dynamic_library.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s APPDIR FOLDER [OPTIONS]\n", argv[0]);
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    const auto options = static_cast<std::uint16_t>(argc > 3 ? std::strtoul(argv[3], nullptr, 0) : vz::engine::Option::Service);

    const auto startBegin = Clock::now();
    vz::platform::DynamicLibraryLoader loader;
    auto engine = vz::engine::ScanEngine::start(loader, vz::engine::EnginePaths::inFolder(argv[1]));
    const double startSeconds = std::chrono::duration<double>(Clock::now() - startBegin).count();
    if (!engine) {
        std::fprintf(stderr, "engine start failed: %d %s\n", engine.error().code, engine.error().text().c_str());
        return 1;
    }

    std::uint64_t files = 0, bytes = 0, infected = 0, warnings = 0, errors = 0, skipped = 0;
    const auto scanBegin = Clock::now();
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(argv[2], ec); !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->is_symlink(ec))
            continue;
        auto record = vz::engine::makeFileTestRecord(it->path().string(), options, "avscan00.tmp");
        if (!record) {
            ++skipped;
            continue;
        }
        const int flags = (*engine)->testFile(*record);
        ++files;
        bytes += it->file_size(ec);
        infected += (flags & vz::engine::ResultFlag::Virus) ? 1 : 0;
        warnings += (flags & vz::engine::ResultFlag::Warning) ? 1 : 0;
        errors += (flags & vz::engine::ResultFlag::Error) ? 1 : 0;
    }
    const double scanSeconds = std::chrono::duration<double>(Clock::now() - scanBegin).count();
    std::printf("files=%llu bytes=%llu start_seconds=%.4f scan_seconds=%.4f infected=%llu warnings=%llu errors=%llu skipped=%llu\n",
        static_cast<unsigned long long>(files), static_cast<unsigned long long>(bytes), startSeconds, scanSeconds,
        static_cast<unsigned long long>(infected), static_cast<unsigned long long>(warnings), static_cast<unsigned long long>(errors),
        static_cast<unsigned long long>(skipped));
    return 0;
}
