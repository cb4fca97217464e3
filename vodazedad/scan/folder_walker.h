#pragma once

#include "common/folder.h"
#include "common/result.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vz::scan {

// The shape the counting pass and the walk share: the files of a folder first, in the
// order the file system gives them, then each sub-folder the same way, without a
// depth limit. The abort flag is read after every entry; once it is set the walk ends
// at every depth.
//
// Every folder is entered through the descriptor of its parent and never through a
// link, so a folder swapped for a link meanwhile cannot lead the walk out of its
// target; files are handed over with the folder that holds them. Links met in the
// walk (to files and to folders) are not followed; FIFOs, sockets and devices are
// not files to scan. A walk that must stay on one file system does not enter a folder
// of another (a mount point).
class FolderWalker {
public:
    using Exclusion = std::function<bool(const std::string& path, bool isFolder)>;
    FolderWalker(const std::atomic<bool>& abort, std::optional<std::uint64_t> stayOnDevice, Exclusion excluded = {});

    enum class Outcome { Completed, Aborted };

    // A file of `folder`, by its name there and its full path. The folder stays open
    // as long as someone holds it, so the file may be handled after the walk moved on.
    using OnFile = std::function<void(const std::shared_ptr<const files::Folder>& folder, const std::string& name, const std::string& path)>;
    // A folder that could not be opened or read completely.
    using OnProblem = std::function<void(const std::string& path, const Error& error)>;

    // `path` is the folder's full path without a final separator ("" is the root).
    Outcome walk(std::shared_ptr<const files::Folder> folder, const std::string& path, const OnFile& onFile, const OnProblem& onProblem) const;
    Outcome count(std::shared_ptr<const files::Folder> folder, const std::string& path, long& files) const;

private:
    const std::atomic<bool>& m_abort;
    std::optional<std::uint64_t> m_device;
    Exclusion m_excluded;
};

} // namespace vz::scan
