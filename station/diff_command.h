// diff A B: two configurations compared by stored value, each a settings file or
// the tracker on the job's port.
#pragma once

#include <functional>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>

#include "model/memory_form.h"
#include "station/station_job.h"

namespace quorvane {

// Reads the tracker into a headless form; null when it could not (the reason has
// been printed as an error line).
using TrackerFormReader = std::function<std::shared_ptr<MemoryForm>()>;

bool DiffUsesTracker(const StationJob& job);

// The file sides of a diff, read before the line is used; a tracker side stays null.
struct DiffSides {
    std::shared_ptr<MemoryForm> a, b;
};
// Null, with an error line printed, when a file cannot be read or is no settings file.
std::optional<DiffSides> ReadDiffFiles(const StationJob& job, std::ostream& err);

// How a diff ended: its exit status and, once both sides were read, how many
// controls differ.
struct DiffResult {
    int exitStatus = 0;
    std::optional<std::size_t> differences;
};

// Prints one line per differing control on `out`:
//   CONTROL (TAB: LABEL): A_VALUE -> B_VALUE
// and a summary on `err`. The exit status is kExitDone when equal, kExitFailed when
// they differ, kExitNoStart when the tracker could not be read. `readTracker` is
// called once, only when a side is the tracker.
DiffResult CompareDiffSides(const StationJob& job, DiffSides sides, const TrackerFormReader& readTracker,
                            std::ostream& out, std::ostream& err);

// CompareDiffSides' exit status alone.
int RunDiff(const StationJob& job, DiffSides sides, const TrackerFormReader& readTracker, std::ostream& out,
            std::ostream& err);

}  // namespace quorvane
