#include "vodazedad/scan/scan_job_state.h"

#include "common/text.h"

namespace vz::scan {

namespace {

// The current file is shown from a 260-byte text.
constexpr std::size_t CurrentFileBytes = 259;

} // namespace

void ScanJobState::reset()
{
    abort = false;
    filesHandled = 0;
    infections = 0;
    warnings = 0;
    cleaned = 0;
    deletedOrQuarantined = 0;
    fileTotal = 0;
    std::lock_guard lock(m_mutex);
    m_currentFile.clear();
    m_lastVirus.clear();
    m_lastInfectedPath.clear();
}

void ScanJobState::setCurrentFile(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_currentFile = std::string(text::truncateUtf8(path, CurrentFileBytes));
}

std::string ScanJobState::currentFile() const
{
    std::lock_guard lock(m_mutex);
    return m_currentFile;
}

void ScanJobState::setLastVirus(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    m_lastVirus = name;
}

std::string ScanJobState::lastVirus() const
{
    std::lock_guard lock(m_mutex);
    return m_lastVirus;
}

void ScanJobState::setLastInfectedPath(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_lastInfectedPath = path;
}

std::string ScanJobState::lastInfectedPath() const
{
    std::lock_guard lock(m_mutex);
    return m_lastInfectedPath;
}

} // namespace vz::scan
