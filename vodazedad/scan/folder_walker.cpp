#include "vodazedad/scan/folder_walker.h"

#include "common/files.h"

#include <vector>

namespace vz::scan {

namespace {

enum class EntryKind { File, Folder, Skip };

EntryKind classify(const std::string& path, files::FileKind kind)
{
    switch (kind) {
    case files::FileKind::Regular:
        return EntryKind::File;
    case files::FileKind::Directory:
        return EntryKind::Folder;
    case files::FileKind::Symlink: {
        auto target = files::status(path, files::FollowLinks::Yes);
        return target && target->kind == files::FileKind::Regular ? EntryKind::File : EntryKind::Skip;
    }
    default:
        return EntryKind::Skip;
    }
}

} // namespace

FolderWalker::FolderWalker(const std::atomic<bool>& abort, std::optional<std::uint64_t> stayOnDevice, Exclusion excluded)
    : m_abort(abort)
    , m_device(stayOnDevice)
    , m_excluded(std::move(excluded))
{
}

FolderWalker::Outcome FolderWalker::walk(const std::string& folder, const std::function<void(const std::string& path)>& onFile) const
{
    auto entries = files::listDirectory(folder.empty() ? std::string("/") : folder);
    if (!entries)
        return Outcome::Completed; // a folder that cannot be read has nothing to walk
    std::vector<std::string> folders;
    for (const auto& e : *entries) {
        std::string path = folder + "/" + e.name;
        switch (classify(path, e.kind)) {
        case EntryKind::File:
            if (!m_excluded || !m_excluded(path, false))
                onFile(path);
            break;
        case EntryKind::Folder:
            if (!m_excluded || !m_excluded(path, true))
                folders.push_back(std::move(path));
            break;
        case EntryKind::Skip:
            break;
        }
        if (m_abort.load(std::memory_order_relaxed))
            return Outcome::Aborted;
    }
    for (const auto& sub : folders) {
        if (m_device) {
            auto st = files::status(sub, files::FollowLinks::No);
            if (!st || st->kind != files::FileKind::Directory || st->device != *m_device)
                continue;
        }
        if (walk(sub, onFile) == Outcome::Aborted)
            return Outcome::Aborted;
    }
    return Outcome::Completed;
}

FolderWalker::Outcome FolderWalker::count(const std::string& folder, long& files) const
{
    return walk(folder, [&files](const std::string&) { ++files; });
}

} // namespace vz::scan
