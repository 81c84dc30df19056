// The command line's parameter groups: the seven tabs that are read and written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

struct CliGroup {
    const char* name;            // "gprs"
    const char* tab;             // "TabSheet2"
    const char* readHandler;     // "GPRSReadClick"
    const char* writeHandler;    // "GPRSWriteClick"
    const char* readCompleted;   // "Read GPRS Completed!"
    const char* writeCompleted;  // "Write GPRS Completed!"
};

// In the window's tab order.
const std::vector<CliGroup>& CliGroups();
const CliGroup* FindCliGroup(std::string_view name);

}  // namespace quorvane
