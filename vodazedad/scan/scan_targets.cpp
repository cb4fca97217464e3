#include "vodazedad/scan/scan_targets.h"

#include "common/records/scan_log.h"

namespace vz::scan {

namespace {

std::vector<std::string> rootsOf(const std::vector<Drive>& drives, bool (*wanted)(const Drive&))
{
    std::vector<std::string> roots;
    for (const auto& d : drives) {
        if (wanted(d))
            roots.push_back(d.root);
    }
    return roots;
}

} // namespace

ScanTargets targetsFor(ScanCommand command, const std::vector<Drive>& drives, const std::vector<std::string>& scheduledPaths)
{
    using records::ScanType::EntireSystem;
    ScanTargets t;
    switch (command) {
    case ScanCommand::EntireSystem:
        t.scanType = records::ScanType::EntireSystem;
        t.targets = rootsOf(drives, [](const Drive& d) {
            return d.type == DriveType::Removable || d.type == DriveType::Fixed || d.type == DriveType::CdRom || d.type == DriveType::RamDisk;
        });
        t.runs = !t.targets->empty();
        break;
    case ScanCommand::HardDrives:
        t.scanType = records::ScanType::HardDrives;
        t.targets = rootsOf(drives, [](const Drive& d) { return d.letter > 'B' && (d.type == DriveType::Removable || d.type == DriveType::Fixed); });
        t.runs = !t.targets->empty();
        break;
    case ScanCommand::SystemAreas:
        t.scanType = records::ScanType::SystemAreas;
        t.targets = std::vector<std::string> { SystemFolder };
        break;
    case ScanCommand::RemovableMedia:
        t.scanType = records::ScanType::RemovableMedia;
        t.targets = rootsOf(drives, [](const Drive& d) { return d.type == DriveType::Removable; });
        break;
    case ScanCommand::OpticalMedia:
        t.scanType = records::ScanType::OpticalMedia;
        t.targets = rootsOf(drives, [](const Drive& d) { return d.type == DriveType::CdRom; });
        break;
    case ScanCommand::Folder:
        t.scanType = records::ScanType::Folder;
        t.targets = std::nullopt;
        break;
    case ScanCommand::Scheduled:
        t.scanType = records::ScanType::Folder;
        t.targets = scheduledPaths;
        break;
    }
    return t;
}

} // namespace vz::scan
