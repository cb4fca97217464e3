#include "vodazedad/scan/infection_handler.h"

#include "common/lang/local_text.h"
#include "common/paths.h"

#include <optional>

namespace vz::scan {

using records::RecordCode;

namespace {

// The folder and the file an action works on: those the walk held, or, for a caller
// with only a path, the file's folder and the file opened now (never through a link).
struct Target {
    const files::Folder* folder = nullptr;
    std::string name;
    const files::HeldFile* file = nullptr;
    std::optional<files::Folder> ownFolder;
    std::optional<files::HeldFile> ownFile;
};

// Fills `t` in place (it points into itself); false when nothing can be opened.
bool openTarget(const InfectedFile& infected, Target& t)
{
    if (infected.folder && infected.file) {
        t.folder = infected.folder;
        t.name = infected.name;
        t.file = infected.file;
        return true;
    }
    std::string_view folderPath = paths::folderOf(infected.path);
    auto folder = files::Folder::open(folderPath.empty() ? std::string_view("/") : folderPath);
    if (!folder)
        return false;
    t.name = std::string(paths::fileName(infected.path));
    auto file = folder->openFile(t.name);
    if (!file)
        return false;
    t.ownFolder = std::move(*folder);
    t.ownFile = std::move(*file);
    t.folder = &*t.ownFolder;
    t.file = &*t.ownFile;
    return true;
}

InfectionOutcome changedOutcome()
{
    return { LocalText("filechanged", "File changed after the test: nothing was done"), RecordCode::InfectionLeft, true };
}

} // namespace

InfectionHandler::InfectionHandler(QuarantineStore& quarantine, FileRepairer& repairer)
    : m_quarantine(quarantine)
    , m_repairer(repairer)
{
}

InfectionOutcome InfectionHandler::handle(const InfectedFile& file, int action)
{
    const InfectionOutcome notRemoved { LocalText("cantdisinfect", "Virus can't be removed"), RecordCode::InfectionLeft };
    if (action != InfectionAction::Clean && action != InfectionAction::Quarantine && action != InfectionAction::Delete)
        return { {}, RecordCode::InfectionLeft };
    if (action == InfectionAction::Clean && !file.repairable)
        return notRemoved;

    Target target;
    if (!openTarget(file, target)) {
        // Nothing that could be opened as a regular file stands at the path.
        if (action == InfectionAction::Quarantine)
            return { LocalText("cantmove", "File can't be moved"), RecordCode::InfectionLeft };
        return action == InfectionAction::Clean ? notRemoved : InfectionOutcome { {}, RecordCode::InfectionLeft };
    }
    InfectedFile held = file;
    held.folder = target.folder;
    held.name = target.name;
    held.file = target.file;

    auto removeHeld = [&](InfectionOutcome failed) -> InfectionOutcome {
        auto removed = held.folder->removeFile(held.name, *held.file);
        if (removed)
            return { LocalText("filedeleted", "File deleted"), RecordCode::Deleted };
        return files::isEntryChanged(removed.error()) ? changedOutcome() : failed;
    };

    switch (action) {
    case InfectionAction::Clean:
        // The repair works on the tested file itself (through its open descriptor).
        if (m_repairer.repair(held) == 0)
            return { LocalText("cleanok", "File cleaned successfully"), RecordCode::Cleaned };
        // A repairable file whose repair failed is not left behind half-repaired.
        return removeHeld(notRemoved);
    case InfectionAction::Quarantine:
        return m_quarantine.quarantine(held);
    default:
        return removeHeld({ {}, RecordCode::InfectionLeft });
    }
}

} // namespace vz::scan
