#include "vodazedad/scan/infection_handler.h"

#include "common/files.h"
#include "common/lang/local_text.h"

namespace vz::scan {

using records::RecordCode;

InfectionHandler::InfectionHandler(QuarantineStore& quarantine, FileRepairer& repairer)
    : m_quarantine(quarantine)
    , m_repairer(repairer)
{
}

InfectionOutcome InfectionHandler::handle(const InfectedFile& file, int action)
{
    switch (action) {
    case InfectionAction::Clean: {
        InfectionOutcome outcome { LocalText("cantdisinfect", "Virus can't be removed"), RecordCode::InfectionLeft };
        if (!file.repairable)
            return outcome;
        if (m_repairer.repair(file) == 0)
            return { LocalText("cleanok", "File cleaned successfully"), RecordCode::Cleaned };
        // A repairable file whose repair failed is not left behind half-repaired.
        if (files::remove(file.path))
            return { LocalText("filedeleted", "File deleted"), RecordCode::Deleted };
        return outcome;
    }
    case InfectionAction::Quarantine:
        return m_quarantine.quarantine(file.path, file.virusName);
    case InfectionAction::Delete:
        if (files::remove(file.path))
            return { LocalText("filedeleted", "File deleted"), RecordCode::Deleted };
        return { {}, RecordCode::InfectionLeft };
    default:
        return { {}, RecordCode::InfectionLeft };
    }
}

} // namespace vz::scan
