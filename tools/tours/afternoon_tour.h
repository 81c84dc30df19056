// Pictures of the window at work for the documentation: the Event tab at the
// window's smallest width scrolled sideways, and a write whose check afterwards finds
// a difference, against a simulated tracker without a display.
#pragma once

#include <QString>

#include <string>

namespace quorvane {

// Saves DIR/event-tab-minimum-width.png, DIR/verify-failed.png and, when the window
// warns in a box of its own, DIR/verify-failed-warning.png; prints each path. False,
// with the reason on stderr, when one fails.
bool SaveAfternoonTour(const QString& dir, const std::string& programDir);

}  // namespace quorvane
