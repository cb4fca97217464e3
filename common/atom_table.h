#pragma once

#include "common/result.h"

#include <string_view>

namespace vz {

// The machine's table of global atoms: names with a reference count that any program
// can add, find and delete. Names compare without regard to case.
class AtomTable {
public:
    virtual ~AtomTable() = default;
    // Adds the name, or counts one more reference when it is there.
    virtual Result<void> addAtom(std::string_view name) = 0;
    // True while the name has at least one reference.
    virtual Result<bool> findAtom(std::string_view name) = 0;
    // Drops one reference; the name goes with the last one.
    virtual Result<void> deleteAtom(std::string_view name) = 0;
};

} // namespace vz
