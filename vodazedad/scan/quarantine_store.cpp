#include "vodazedad/scan/quarantine_store.h"

#include "common/files.h"
#include "common/folder.h"
#include "common/lang/local_text.h"
#include "common/paths.h"
#include "common/records/quarantine_index.h"
#include "common/records/record_value.h"

#include <optional>
#include <set>

namespace vz::scan {

using records::RecordCode;

namespace {

// How far past the count a free name is looked for before giving up.
constexpr int MaxNumbersTried = 100000;
constexpr std::string_view IntentSuffix = ".intent";
constexpr std::string_view PendingSuffix = ".pending";
constexpr std::uint64_t IntentLimit = 64 * 1024;

std::string intentText(const records::QuarantineEntry& e)
{
    return files::joinLinesCrLf({ records::encodeValue(e.dateTime), records::encodeValue(e.fileName),
        records::encodeValue(e.virusName), records::encodeValue(e.formerPath) });
}

// The entry an intent file holds; nothing for a file that is not one of ours.
std::optional<records::QuarantineEntry> parseIntent(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        auto end = text.find("\r\n");
        if (end == std::string_view::npos)
            return std::nullopt; // cut short: written whole or not at all, so not ours
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    if (lines.size() != 4)
        return std::nullopt;
    records::QuarantineEntry e { records::decodeValue(lines[0]), records::decodeValue(lines[1]),
        records::decodeValue(lines[2]), records::decodeValue(lines[3]) };
    if (e.fileName.empty() || e.formerPath.empty())
        return std::nullopt;
    return e;
}

bool endsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// The index holds the entry (written before a kill), or gets it now.
Result<void> ensureEntry(const records::RecordLocation& location, const records::QuarantineEntry& entry)
{
    if (auto all = records::readQuarantineIndex(location)) {
        for (const auto& e : *all) {
            if (e == entry)
                return Success {};
        }
    }
    return records::appendQuarantineEntry(location, entry);
}

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

void QuarantineStore::reached(QuarantineStep step) const
{
    if (m_stepHook)
        m_stepHook(step);
}

InfectionOutcome QuarantineStore::quarantine(std::string_view path, std::string_view virusName)
{
    const InfectionOutcome notMoved { LocalText("cantmove", "File can't be moved"), RecordCode::InfectionLeft };
    std::string_view folderPath = paths::folderOf(path);
    auto folder = files::Folder::open(folderPath.empty() ? std::string_view("/") : folderPath);
    if (!folder)
        return notMoved;
    std::string name(paths::fileName(path));
    // Only a regular file is moved: a symbolic link would leave its target in place,
    // and making the link private would change the target's access instead.
    auto file = folder->openFile(name);
    if (!file)
        return notMoved;
    InfectedFile infected { std::string(path), std::string(virusName), false, &*folder, name, &*file };
    return quarantine(infected);
}

InfectionOutcome QuarantineStore::quarantine(const InfectedFile& f)
{
    const InfectionOutcome notMoved { LocalText("cantmove", "File can't be moved"), RecordCode::InfectionLeft };
    const InfectionOutcome moved { LocalText("quarantained", "File quarantained"), RecordCode::Quarantined };
    if (!f.folder || !f.file)
        return quarantine(f.path, f.virusName);
    auto q = files::Folder::open(m_location.quarantineFolder());
    if (!q)
        return notMoved;

    // Reserve the first free number: its intent file is created exclusively, so two
    // scans never take one number, and it says what a killed move was about.
    auto entry = records::quarantineEntry(m_clock.now(), {}, f.virusName, f.path);
    // A name an entry still holds is never given again, even when its file is gone:
    // restoring that entry would put another file at its former path.
    std::set<std::string> named;
    if (auto all = records::readQuarantineIndex(m_location)) {
        for (const auto& e : *all)
            named.insert(e.fileName);
    }
    std::string name;
    bool reserved = false;
    for (int n = count(), tried = 0; tried < MaxNumbersTried && n >= 0; ++n, ++tried) {
        name = records::quarantineFileName(n);
        if (named.count(name) || q->entryStatus(name) || q->entryStatus(name + std::string(PendingSuffix)))
            continue;
        entry.fileName = name;
        auto r = q->createFile(name + std::string(IntentSuffix), intentText(entry));
        if (r) {
            reserved = true;
            break;
        }
        if (r.error().code != EEXIST)
            return notMoved;
    }
    if (!reserved)
        return notMoved;
    const std::string intent = name + std::string(IntentSuffix);
    const std::string pending = name + std::string(PendingSuffix);
    auto dropIntent = [&] {
        ignoreError(q->removeEntry(intent), "a stale intent without its file is removed by the next reconcile");
    };
    reached(QuarantineStep::Reserved);

    auto move = f.folder->moveFile(f.name, *f.file, *q, pending);
    if (!move) {
        dropIntent();
        if (files::isEntryChanged(move.error()))
            return { LocalText("filechanged", "File changed after the test: nothing was done"), RecordCode::InfectionLeft, true };
        return notMoved;
    }
    reached(QuarantineStep::Moved);

    // The file as it now lies in the quarantine (after a move across file systems a
    // copy of its own).
    auto inQuarantine = q->openFile(pending);
    auto putBack = [&] { return inQuarantine && q->moveFile(pending, *inQuarantine, *f.folder, f.name).ok(); };
    if (!records::appendQuarantineEntry(m_location, entry)) {
        // Without its entry nobody could find or restore the file: put it back.
        if (putBack()) {
            dropIntent();
            return notMoved;
        }
        // It stays; its intent gives it the entry at the next reconcile.
        return { moved.resultText, RecordCode::InfectionLeft };
    }
    reached(QuarantineStep::Recorded);

    // Owner-only: a quarantined file is neither executable nor readable by others.
    // One that cannot be made so goes back, and so does its entry.
    if (!inQuarantine || !inQuarantine->makePrivate()) {
        if (putBack()) {
            ignoreError(records::rewriteQuarantineIndex(m_location, [&](const records::QuarantineEntry& e) { return !(e == entry); }),
                "an entry whose file is back in place lists nothing a restore could take");
            dropIntent();
            return notMoved;
        }
    }
    reached(QuarantineStep::Private);

    if (!q->renameEntry(pending, name))
        return moved; // entry written, file owner-only; the next reconcile names it
    reached(QuarantineStep::Named);
    dropIntent();
    return moved;
}

int QuarantineStore::reconcile()
{
    auto q = files::Folder::open(m_location.quarantineFolder());
    if (!q)
        return 0;
    auto list = q->entries();
    if (!list)
        return 0;
    int settled = 0;
    for (const auto& e : *list) {
        if (e.kind != files::FileKind::Regular || !endsWith(e.name, IntentSuffix))
            continue;
        const std::string name = e.name.substr(0, e.name.size() - IntentSuffix.size());
        const std::string pending = name + std::string(PendingSuffix);
        auto text = q->readFile(e.name, IntentLimit);
        if (!text)
            continue;
        auto entry = parseIntent(*text);
        if (!entry || entry->fileName != name)
            continue; // not one of ours: left alone
        auto pendingStatus = q->entryStatus(pending);
        auto finalStatus = q->entryStatus(name);
        if (pendingStatus && pendingStatus->kind == files::FileKind::Regular) {
            auto file = q->openFile(pending);
            if (!file || !ensureEntry(m_location, *entry) || !file->makePrivate() || !q->renameEntry(pending, name))
                continue; // tried again at the next start
        } else if (finalStatus && finalStatus->kind == files::FileKind::Regular) {
            auto file = q->openFile(name);
            if (!file || !ensureEntry(m_location, *entry) || !file->makePrivate())
                continue;
        }
        // Otherwise the file never left its place: the intent alone goes.
        ignoreError(q->removeEntry(e.name), "a leftover intent names a move that is settled either way");
        ++settled;
    }
    return settled;
}

} // namespace vz::scan
