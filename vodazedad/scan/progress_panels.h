#pragma once

#include "vodazedad/scan/scan_screen.h"

#include <string>
#include <string_view>

namespace vz::scan {

enum class PanelForm { Files, Processes };

// The "Statistics" panel: files (or processes) handled, infections, the last virus
// found and the minutes and seconds since the job started.
ProgressPanel statisticsPanel(PanelForm form, long handled, long infections, std::string_view lastVirus, long secondsSinceStart);

// The "Current activity" panel: the text with a line end inserted after its 108th
// character when it is longer than 108, and another at 216 when longer than 216.
ProgressPanel activityPanel(std::string_view text, std::string_view title = {});

// The animation marker of a phase 0..15 on its circle around (20, 64).
AnimationMarker markerForPhase(int phase);

} // namespace vz::scan
