#pragma once

#include "common/engine/engine_records.h"
#include "common/folder.h"
#include "common/result.h"

#include <memory>
#include <optional>
#include <string>

namespace vz::scan {

// One entry of a walk on its way through the scan: met by the walk, tested by the
// engine (on any thread), then handled (counted, acted on, recorded) in walk order.
struct TestedFile {
    std::shared_ptr<const files::Folder> folder; // null for a file no folder names
    std::string name;
    std::string path;

    // A folder the walk could not enter or read: only its problem is recorded.
    std::optional<std::string> folderProblem = {};

    // What the test found.
    bool inQuarantine = false;           // counted, never tested
    std::optional<files::HeldFile> held = {}; // the file as it was opened and tested
    const files::HeldFile* file = nullptr;    // `held`, or the caller's own open file
    std::optional<Error> openError = {};
    std::optional<engine::FileTestRecord> record = {};
    int flags = 0;
};

} // namespace vz::scan
