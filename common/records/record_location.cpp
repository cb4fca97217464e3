#include "common/records/record_location.h"

#include "common/paths.h"
#include "common/text.h"

namespace vz::records {

RecordLocation::RecordLocation(std::string_view installFolder)
    : m_installFolder(paths::withTrailingSeparator(installFolder))
{
}

std::string RecordLocation::reportsFolder() const
{
    return m_installFolder + "Reports/";
}

std::string RecordLocation::quarantineFolder() const
{
    return m_installFolder + "Quarantine/";
}

std::string RecordLocation::scanLog() const
{
    return reportsFolder() + std::string(ScanLogName);
}

std::string RecordLocation::infectionLog() const
{
    return reportsFolder() + std::string(InfectionLogName);
}

std::string RecordLocation::quarantineIndex() const
{
    return reportsFolder() + std::string(QuarantineIndexName);
}

std::string RecordLocation::reportPath(const LocalDateTime& start) const
{
    return reportsFolder()
        + text::format("%02d.%02d.%04d  %02d.%02d.%02d.txt", start.day, start.month, start.year, start.hour, start.minute, start.second);
}

} // namespace vz::records
