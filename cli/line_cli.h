// The command line's look at every port: the `find` command.
#pragma once

#include <ostream>
#include <string>

#include "cli/cli_options.h"

namespace quorvane {

// `quorvane-cli find`: the connect request on every listed port at once; one line
// per port on `out`. Exit 0 when a tracker answered somewhere, 1 otherwise.
int RunFind(const CliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quorvane
