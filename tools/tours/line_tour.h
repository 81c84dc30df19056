// Pictures of the line tools for the documentation: the traffic panel after a Read
// All from a simulated tracker, and Find Tracker over simulated ports. Needs no display.
#pragma once

#include <QString>

namespace quorvane {

class TForm1Window;

// Saves DIR/traffic-panel.png and DIR/find-tracker.png and prints their paths; false
// (with a message on standard error) when something fails.
bool SaveLineTour(TForm1Window& window, const QString& dir);

}  // namespace quorvane
