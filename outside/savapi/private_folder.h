#pragma once

#include "platform/linux/unique_fd.h"

#include <memory>
#include <string>

namespace vz::savapi {

// The engine's private temporary folder "vz-engine-XXXXXX" (0700) under a parent
// folder. A lock file inside is held locked (flock) for as long as the engine lives,
// so a folder whose lock can be taken belongs to an engine that is gone: such folders,
// left behind by a crash, are removed when the next engine makes its own.
class PrivateFolder {
public:
    // Clears the stale folders under parent, then makes, locks and probes a new one
    // by writing into it; null when that fails.
    static std::unique_ptr<PrivateFolder> make(const std::string& parent);
    // Removes the folder with everything in it.
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& path() const { return m_path; }

private:
    PrivateFolder() = default;

    std::string m_path;
    std::string m_name;
    platform::UniqueFd m_parent;
    platform::UniqueFd m_folder;
    platform::UniqueFd m_lock;
};

// Removes the folders under the open parent that this user's engines made and no
// live engine holds; never follows a link.
void removeStaleFolders(int parentFd);

} // namespace vz::savapi
