#include "vodazedad/scan/quarantine_store.h"

#include "common/files.h"
#include "common/lang/local_text.h"
#include "common/records/quarantine_index.h"

#include <cerrno>

namespace vz::scan {

using records::RecordCode;

namespace {

// How far past the count a free name is looked for before giving up.
constexpr int MaxNumbersTried = 100000;

} // namespace

QuarantineStore::QuarantineStore(records::RecordLocation location, const Clock& clock)
    : m_location(std::move(location))
    , m_clock(clock)
{
}

int QuarantineStore::count() const
{
    return records::quarantineCount(m_location);
}

InfectionOutcome QuarantineStore::quarantine(std::string_view path, std::string_view virusName)
{
    const InfectionOutcome notMoved { LocalText("cantmove", "File can't be moved"), RecordCode::InfectionLeft };

    // Only a regular file is moved: a symbolic link would leave its target in place,
    // and making the link private would change the target's access instead.
    auto source = files::status(path, files::FollowLinks::No);
    if (!source || source->kind != files::FileKind::Regular)
        return notMoved;

    // The first number from the count upward whose file does not exist. A name taken
    // meanwhile makes the move fail with EEXIST and the next number is tried.
    std::string name;
    std::string target;
    bool moved = false;
    for (int n = count(), tried = 0; tried < MaxNumbersTried && n >= 0; ++n, ++tried) {
        name = records::quarantineFileName(n);
        target = m_location.quarantineFolder() + name;
        if (files::exists(target))
            continue;
        auto r = files::moveNoReplace(path, target);
        if (r) {
            moved = true;
            break;
        }
        if (r.error().code != EEXIST)
            return notMoved;
    }
    if (!moved)
        return notMoved;

    auto putBack = [&] { return files::moveNoReplace(target, path).ok(); };

    auto entry = records::quarantineEntry(m_clock.now(), name, std::string(virusName), std::string(path));
    if (!records::appendQuarantineEntry(m_location, entry)) {
        // Without its entry nobody could find or restore the file: put it back.
        if (putBack())
            return notMoved;
        return { LocalText("quarantained", "File quarantained"), RecordCode::InfectionLeft };
    }

    // Owner-only: a quarantined file is neither executable nor readable by others.
    // One that cannot be made so goes back, and so does its entry.
    if (!files::makePrivate(target) && putBack()) {
        (void)records::rewriteQuarantineIndex(m_location, [&](const records::QuarantineEntry& e) { return !(e == entry); });
        return notMoved;
    }
    return { LocalText("quarantained", "File quarantained"), RecordCode::Quarantined };
}

} // namespace vz::scan
