#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vz::scan {

// The animation marker the main window draws while a target runs.
struct AnimationMarker {
    int x = 0;
    int y = 0;
    bool operator==(const AnimationMarker&) const = default;
};

// One of the scanning screen's two text panels.
struct ProgressPanel {
    std::string title;
    std::string labels; // empty for the activity panel
    std::string text;
    bool operator==(const ProgressPanel&) const = default;
};

// What the scan job drives on the scanning screen, and the window thread's own
// services it needs while it stays inside the job. The windowed program implements
// it with its screens, the command-line scanner on the terminal, tests record it.
class ScanScreen {
public:
    virtual ~ScanScreen() = default;

    // The scanning flag: on while a job or a memory scan runs; the main window greys
    // the first five entries of its menu bar meanwhile.
    virtual void setScanning(bool on) = 0;
    virtual void setStatusLine(const std::string& text) = 0;
    // The targets bar ("Total progress:") and the files bar ("Current task progress:").
    virtual void setTargetsBar(std::uint32_t rangeEnd, std::uint32_t position) = 0;
    virtual void setFilesBar(std::uint32_t rangeEnd, std::uint32_t position) = 0;
    virtual void showPanels(const ProgressPanel& statistics, const ProgressPanel& activity) = 0;
    virtual void setMarker(std::optional<AnimationMarker> marker) = 0;

    // Handles the window messages waiting (this is where Cancel arrives).
    virtual void dispatchMessages() = 0;
    // The job's pauses between looks at the worker (1000 ms first, then 120 ms).
    virtual void pause(std::uint32_t milliseconds) = 0;

    // The folder browser; nothing when cancelled or no path was chosen.
    virtual std::optional<std::string> browseForFolder(const std::string& title) = 0;
    // After a job: its report in the report view, or the home screen.
    virtual void openReport(const std::string& reportPath) = 0;
    virtual void showHomeScreen() = 0;
};

} // namespace vz::scan
