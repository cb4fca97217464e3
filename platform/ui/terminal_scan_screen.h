#pragma once

#include "vodazedad/scan/scan_screen.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace vz::platform {

// The scanning screen of the command-line scanner. On a terminal it draws one
// progress line on standard error; otherwise it prints plain lines (each target as it
// starts). Ctrl-C and SIGTERM ask for Cancel when a cancel is given. The pauses end early
// once `idle` says the work is done, so a scan of a small folder does not wait for nothing.
class TerminalScanScreen final : public scan::ScanScreen {
public:
    TerminalScanScreen(std::FILE* out, std::function<void()> cancel, std::function<bool()> idle);
    ~TerminalScanScreen() override;

    void setScanning(bool on) override;
    void setStatusLine(const std::string& text) override;
    void setTargetsBar(std::uint32_t rangeEnd, std::uint32_t position) override;
    void setFilesBar(std::uint32_t rangeEnd, std::uint32_t position) override;
    void showPanels(const scan::ProgressPanel& statistics, const scan::ProgressPanel& activity) override;
    void setMarker(std::optional<scan::AnimationMarker> marker) override;
    void dispatchMessages() override;
    void pause(std::uint32_t milliseconds) override;
    std::optional<std::string> browseForFolder(const std::string& title) override;
    void openReport(const std::string& reportPath) override;
    void showHomeScreen() override;

    bool interactive() const { return m_tty; }

    // Prints whole lines to `stream` from any thread: the progress line is taken away
    // first and drawn again with its next update, so the two never mix on a terminal.
    void printLines(std::FILE* stream, const std::string& lines);
    // Shows `path` as `shown` in the status and progress lines (standard input's copy as
    // "stdin").
    void showPathAs(std::string path, std::string shown);
    // Whether Ctrl-C or SIGTERM came and was not yet turned into Cancel.
    static bool interruptPending();
    // Whether Ctrl-C or SIGTERM came since this screen was made.
    bool interrupted() const { return m_interrupted; }

private:
    void draw();
    void clearLine();
    void clearLineLocked();
    std::string shownText(std::string text) const;

    std::FILE* m_out;
    std::function<void()> m_cancel;
    std::function<bool()> m_idle;
    bool m_tty = false;
    bool m_drawn = false;
    bool m_interrupted = false;
    std::mutex m_outputMutex; // the progress line and the lines of printLines
    std::uint32_t m_filesEnd = 0, m_filesPos = 0;
    std::uint32_t m_targetsEnd = 0, m_targetsPos = 0;
    std::string m_activity;
    std::string m_counts;
    std::string m_aliasPath, m_aliasShown;
};

} // namespace vz::platform
