#include "vodazedad/scan/folder_walker.h"

#include <memory>
#include <vector>

namespace vz::scan {

namespace {

// One folder on the way down: its sub-folders wait until its files are done.
struct Level {
    std::shared_ptr<const files::Folder> folder;
    std::string path;
    std::vector<std::string> subfolders;
    std::size_t next = 0;
};

} // namespace

FolderWalker::FolderWalker(const std::atomic<bool>& abort, std::optional<std::uint64_t> stayOnDevice, Exclusion excluded)
    : m_abort(abort)
    , m_device(stayOnDevice)
    , m_excluded(std::move(excluded))
{
}

FolderWalker::Outcome FolderWalker::walk(std::shared_ptr<const files::Folder> start, const std::string& startPath, const OnFile& onFile, const OnProblem& onProblem) const
{
    // An explicit stack instead of recursion: a tree thousands of folders deep must
    // neither overflow the worker's stack nor be cut short.
    std::vector<Level> stack;
    // Handles the files of one folder and puts it on the stack for its sub-folders;
    // false once the abort flag is seen.
    auto enter = [&](std::shared_ptr<const files::Folder> folder, const std::string& path) -> bool {
        auto entries = folder->entries();
        if (!entries) {
            onProblem(path.empty() ? "/" : path, entries.error());
            return true;
        }
        Level level { folder, path, {}, 0 };
        for (const auto& e : *entries) {
            std::string full = path + "/" + e.name;
            if (e.kind == files::FileKind::Regular) {
                if (!m_excluded || !m_excluded(full, false))
                    onFile(folder, e.name, full);
            } else if (e.kind == files::FileKind::Directory) {
                if (!m_excluded || !m_excluded(full, true))
                    level.subfolders.push_back(e.name);
            }
            if (m_abort.load(std::memory_order_relaxed))
                return false;
        }
        stack.push_back(std::move(level));
        return true;
    };

    if (!enter(std::move(start), startPath))
        return Outcome::Aborted;
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.next == top.subfolders.size()) {
            stack.pop_back();
            continue;
        }
        const std::string full = top.path + "/" + top.subfolders[top.next];
        auto sub = top.folder->openSubfolder(top.subfolders[top.next++]);
        if (!sub) {
            // Gone, or swapped for a link since the folder was read: not entered.
            onProblem(full, sub.error());
            continue;
        }
        if (m_device && sub->identity().device != *m_device)
            continue; // another file system is mounted here
        if (!enter(std::make_shared<const files::Folder>(std::move(*sub)), full))
            return Outcome::Aborted;
    }
    return Outcome::Completed;
}

FolderWalker::Outcome FolderWalker::count(std::shared_ptr<const files::Folder> folder, const std::string& path, long& files) const
{
    return walk(std::move(folder), path, [&files](const std::shared_ptr<const files::Folder>&, const std::string&, const std::string&) { ++files; },
        [](const std::string&, const Error&) {});
}

} // namespace vz::scan
