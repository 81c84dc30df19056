// Runs one parsed command line against the window logic over a headless form.
#pragma once

#include <ostream>
#include <string>

#include "cli/cli_options.h"

namespace quorvane {

// Exit statuses of the command line.
inline constexpr int kExitDone = 0;      // ended with its completion message
inline constexpr int kExitFailed = 1;    // started, but ended otherwise
inline constexpr int kExitNoStart = 2;   // could not start

// `out` takes only CONTROL=VALUE lines (or port names); `err` one line per thing the
// window would show.
int RunCli(const CliOptions& options, std::ostream& out, std::ostream& err,
           const std::string& programDir);

}  // namespace quorvane
