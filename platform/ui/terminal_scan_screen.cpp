#include "platform/ui/terminal_scan_screen.h"

#include "common/printable_text.h"

#include <chrono>
#include <csignal>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace vz::platform {

namespace {

std::atomic<bool> g_interrupted { false };

extern "C" void onInterrupt(int)
{
    g_interrupted = true;
}

int terminalWidth(int fd)
{
    winsize ws {};
    if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20)
        return ws.ws_col;
    return 80;
}

} // namespace

TerminalScanScreen::TerminalScanScreen(std::FILE* out, std::function<void()> cancel, std::function<bool()> idle)
    : m_out(out)
    , m_cancel(std::move(cancel))
    , m_idle(std::move(idle))
    , m_tty(::isatty(::fileno(out)) != 0)
{
    // Ctrl-C and SIGTERM become Cancel only where there is something to cancel; otherwise
    // they end the program as usual (a memory scan has no Cancel). SA_RESTART: the worker
    // thread's writes must not fail because the signal happened to land on it.
    if (m_cancel) {
        g_interrupted = false;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sa.sa_flags = SA_RESTART;
        ::sigemptyset(&sa.sa_mask);
        ::sigaction(SIGINT, &sa, nullptr);
        ::sigaction(SIGTERM, &sa, nullptr);
    }
}

TerminalScanScreen::~TerminalScanScreen()
{
    clearLine();
    if (m_cancel) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
}

void TerminalScanScreen::showPathAs(std::string path, std::string shown)
{
    m_aliasPath = std::move(path);
    m_aliasShown = std::move(shown);
}

std::string TerminalScanScreen::shownText(std::string text) const
{
    if (m_aliasPath.empty())
        return text;
    for (auto at = text.find(m_aliasPath); at != std::string::npos; at = text.find(m_aliasPath, at + m_aliasShown.size()))
        text.replace(at, m_aliasPath.size(), m_aliasShown);
    return text;
}

bool TerminalScanScreen::interruptPending()
{
    return g_interrupted.load();
}

void TerminalScanScreen::printLines(std::FILE* stream, const std::string& lines)
{
    // Only a terminal shows the progress line; a pipe or file takes the lines as they
    // come (one fwrite keeps them whole), so a reader that stalls on one stream never
    // holds up what goes to the other.
    if (!m_tty || ::isatty(::fileno(stream)) == 0) {
        std::fwrite(lines.data(), 1, lines.size(), stream);
        std::fflush(stream);
        return;
    }
    std::lock_guard lock(m_outputMutex);
    clearLineLocked();
    std::fwrite(lines.data(), 1, lines.size(), stream);
    std::fflush(stream);
}

void TerminalScanScreen::setScanning(bool) { }

void TerminalScanScreen::setStatusLine(const std::string& text)
{
    if (text.empty())
        return;
    printLines(m_out, printableText(shownText(text)) + "\n");
}

void TerminalScanScreen::setTargetsBar(std::uint32_t rangeEnd, std::uint32_t position)
{
    m_targetsEnd = rangeEnd;
    m_targetsPos = position;
}

void TerminalScanScreen::setFilesBar(std::uint32_t rangeEnd, std::uint32_t position)
{
    m_filesEnd = rangeEnd;
    m_filesPos = position;
}

void TerminalScanScreen::showPanels(const scan::ProgressPanel& statistics, const scan::ProgressPanel& activity)
{
    // The counts are the first two lines of the statistics panel's values.
    std::string values = statistics.text;
    auto first = values.find('\n');
    auto second = first == std::string::npos ? first : values.find('\n', first + 1);
    if (second != std::string::npos)
        m_counts = values.substr(0, first) + " files, " + values.substr(first + 1, second - first - 1) + " infected";
    // The panel's lines on one line; a file name never reaches the terminal raw.
    m_activity.clear();
    std::string panel = shownText(activity.text);
    std::string_view rest = panel;
    while (!rest.empty()) {
        auto end = rest.find('\n');
        m_activity += printableText(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view {} : rest.substr(end + 1);
    }
    draw();
}

void TerminalScanScreen::setMarker(std::optional<scan::AnimationMarker>) { }

void TerminalScanScreen::dispatchMessages()
{
    if (m_cancel && g_interrupted.exchange(false)) {
        m_interrupted = true;
        m_cancel();
    }
}

void TerminalScanScreen::pause(std::uint32_t milliseconds)
{
    using namespace std::chrono;
    auto until = steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (steady_clock::now() < until) {
        if (m_idle && m_idle())
            return;
        if (g_interrupted.load())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::optional<std::string> TerminalScanScreen::browseForFolder(const std::string&)
{
    return std::nullopt; // the command-line scanner always names its targets
}

void TerminalScanScreen::openReport(const std::string&)
{
    clearLine();
}

void TerminalScanScreen::showHomeScreen()
{
    clearLine();
}

void TerminalScanScreen::draw()
{
    if (!m_tty)
        return;
    int width = terminalWidth(::fileno(m_out));
    std::string bar;
    if (m_filesEnd > 0) {
        constexpr int cells = 20;
        int done = static_cast<int>(static_cast<std::uint64_t>(std::min(m_filesPos, m_filesEnd)) * cells / m_filesEnd);
        // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about the
        // chain of operator+ that starts with a literal.
        bar.reserve(cells + 8);
        bar += '[';
        bar.append(static_cast<std::size_t>(done), '#');
        bar.append(static_cast<std::size_t>(cells - done), '-');
        bar += "] ";
        bar += std::to_string(static_cast<std::uint64_t>(std::min(m_filesPos, m_filesEnd)) * 100 / m_filesEnd);
        bar += "% ";
    }
    std::string line = bar + m_counts + "  " + m_activity;
    if (static_cast<int>(line.size()) > width - 1) {
        // Keep the start and the end of the path: the end names the file.
        std::size_t keep = static_cast<std::size_t>(width - 4);
        line = line.substr(0, keep / 2) + "..." + line.substr(line.size() - (keep - keep / 2));
    }
    std::lock_guard lock(m_outputMutex);
    std::fprintf(m_out, "\r\033[K%s", line.c_str());
    std::fflush(m_out);
    m_drawn = true;
}

void TerminalScanScreen::clearLine()
{
    std::lock_guard lock(m_outputMutex);
    clearLineLocked();
}

void TerminalScanScreen::clearLineLocked()
{
    if (m_tty && m_drawn) {
        std::fprintf(m_out, "\r\033[K");
        std::fflush(m_out);
        m_drawn = false;
    }
}

} // namespace vz::platform
