// quorvane-cli diff A B: two configurations compared by stored value, each a settings
// file or the tracker on --port.
#pragma once

#include <functional>
#include <memory>
#include <ostream>

#include "app/memory_form.h"
#include "cli/cli_options.h"

namespace quorvane {

// Reads the tracker into a headless form; null when it could not (the reason has
// been printed as an error line).
using TrackerFormReader = std::function<std::shared_ptr<MemoryForm>()>;

bool DiffUsesTracker(const CliOptions& options);

// Prints one line per differing control on `out`:
//   CONTROL (TAB: LABEL): A_VALUE -> B_VALUE
// and a summary on `err`. Returns kExitDone when equal, kExitFailed when they differ,
// kExitNoStart when a side could not be read. `readTracker` is called at most once,
// only when a side is the tracker, after both files have been read.
int RunDiff(const CliOptions& options, const TrackerFormReader& readTracker, std::ostream& out, std::ostream& err);

}  // namespace quorvane
