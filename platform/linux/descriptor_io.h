#pragma once

// What the file adapters of this folder share: reading a stat, writing a whole
// buffer, listing an open folder. Not a port: only platform/linux uses it.
#include "common/files.h"
#include "common/result.h"

#include <dirent.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace vz::platform {

files::FileKind kindOf(mode_t mode);
files::FileStatus statusOf(const struct stat& st);

// Writes all of `data`, going on after short writes and EINTR.
Result<void> writeAll(int fd, std::string_view data, const std::string& what);

// The entries of an open folder stream without "." and "..", links not followed;
// closes the stream. A read error is reported, never a short list passed as complete;
// an entry gone while it is looked at is left out.
Result<std::vector<files::DirectoryEntry>> readEntries(DIR* dir, const std::string& what);

} // namespace vz::platform
