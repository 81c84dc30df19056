// Runs one parsed command line against the window logic over a headless form.
#pragma once

#include <ostream>
#include <string>

#include "cli/cli_options.h"
#include "station/exit_status.h"

namespace quorvane {

// `out` takes only CONTROL=VALUE lines (or port names); `err` one line per thing the
// window would show.
int RunCli(const CliOptions& options, std::ostream& out, std::ostream& err,
           const std::string& programDir);

}  // namespace quorvane
