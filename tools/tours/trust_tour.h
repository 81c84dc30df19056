// Pictures of the write-safety parts for the documentation: marked tabs after edits
// since a read, the compare dialog and the Find box, made against a simulated tracker
// without a display.
#pragma once

#include <QString>

#include <string>

namespace quorvane {

// Saves DIR/changes-GPRS.png, DIR/changes-Event.png, DIR/compare-dialog.png and
// DIR/find.png; prints each path. False, with the reason on stderr, when one fails.
bool SaveTrustTour(const QString& dir, const std::string& programDir);

}  // namespace quorvane
