// The station window's picture for the documentation: five throttled simulated
// trackers written from the station, one of them failing. Needs no display.
#pragma once

#include <QString>

#include <string>

namespace quorvane {

// Saves DIR/station-window.png and prints its path; false (with a message on
// standard error) when something fails.
bool SaveStationTour(const QString& dir, const std::string& programDir);

}  // namespace quorvane
