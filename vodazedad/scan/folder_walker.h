#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vz::scan {

// The shape the counting pass and the walk share: the files of a folder first, in the
// order the file system gives them, then each sub-folder the same way, without a
// depth limit. The abort flag is read after every entry; once it is set the walk ends
// at every depth.
//
// On Linux a folder is entered only as itself: a symbolic link to a folder is never
// followed (so a link back up cannot make the walk endless), and a walk that must stay
// on one file system does not enter a folder of another (a mount point). A symbolic
// link to a file is a file; FIFOs, sockets and devices are not files to scan.
class FolderWalker {
public:
    using Exclusion = std::function<bool(const std::string& path, bool isFolder)>;
    FolderWalker(const std::atomic<bool>& abort, std::optional<std::uint64_t> stayOnDevice, Exclusion excluded = {});

    enum class Outcome { Completed, Aborted };

    // `folder` has no final separator ("" is the root). Calls `onFile` with every
    // file's full path.
    Outcome walk(const std::string& folder, const std::function<void(const std::string& path)>& onFile) const;
    Outcome count(const std::string& folder, long& files) const;

private:
    const std::atomic<bool>& m_abort;
    std::optional<std::uint64_t> m_device;
    Exclusion m_excluded;
};

} // namespace vz::scan
