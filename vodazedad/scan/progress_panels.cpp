#include "vodazedad/scan/progress_panels.h"

#include "common/lang/local_text.h"
#include "common/text.h"

#include <cmath>
#include <numbers>

namespace vz::scan {

ProgressPanel statisticsPanel(PanelForm form, long handled, long infections, std::string_view lastVirus, long secondsSinceStart)
{
    ProgressPanel p;
    p.title = LocalText("Statistics", "Statistics");
    p.labels = (form == PanelForm::Files ? LocalText("FilesScanned", "Files scanned:") : LocalText("ProcessesScanned", "Processes scanned:"))
        + "\n" + LocalText("InfectionsFound", "Total Infections found:") + "\n" + LocalText("lastfoundvirus", "Last virus found: ")
        + "\n\n" + LocalText("time", "Time");
    p.text = text::format("%ld\n%ld\n%.*s\n\n%02ld:%02ld", handled, infections, static_cast<int>(lastVirus.size()), lastVirus.data(),
        secondsSinceStart / 60, secondsSinceStart % 60);
    return p;
}

ProgressPanel activityPanel(std::string_view text, std::string_view title)
{
    ProgressPanel p;
    p.title = title.empty() ? LocalText("Current activity", "Current activity") : std::string(title);
    std::string t(text);
    // Long paths wrap at fixed places so that the panel shows all of them: one line
    // end after the 108th character, then another at position 216 of the text as it
    // now stands.
    // (One character, not a string: GCC 12 at -O3 warns falsely (-Wrestrict) about
    // inserting a literal.)
    if (text.size() > 108)
        t.insert(108, 1, '\n');
    if (text.size() > 216)
        t.insert(216, 1, '\n');
    p.text = std::move(t);
    return p;
}

AnimationMarker markerForPhase(int phase)
{
    double angle = 2.0 * std::numbers::pi * phase / 16.0;
    return AnimationMarker { static_cast<int>(20 + 12 * std::cos(angle)), static_cast<int>(64 + 12 * std::sin(angle)) };
}

} // namespace vz::scan
