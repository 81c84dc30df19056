#include "cli/groups.h"

namespace quorvane {

const std::vector<CliGroup>& CliGroups() {
    static const std::vector<CliGroup> groups = {
        {"gprs", "TabSheet2", "GPRSReadClick", "GPRSWriteClick", "Read GPRS Completed!",
         "Write GPRS Completed!"},
        {"main", "TabSheet3", "MainSetReadClick", "MainSetWriteClick", "Read Main Completed!",
         "Write Main Completed!"},
        {"interface", "TabSheet8", "InterfaceReadClick", "InterfaceWriteClick",
         "Read Interface Completed!", "Write Interface Completed!"},
        {"temp", "TabSheet9", "Temp_ReadClick", "Temp_WriteClick", "Read Temperature Completed!",
         "Write Temperature Completed!"},
        {"auth", "TabSheet5", "SMSReadClick", "SMSWriteClick", "Read Auth Completed!",
         "Write Auth Completed!"},
        {"geo", "TabSheet4", "GEOFenceReadClick", "GEOFenceWriteClick", "Read GEO Completed!",
         "Write GEO Completed!"},
        {"event", "TabSheet6", "EventReadClick", "EventWriteClick", "Read Event Completed!",
         "Write Event Completed!"},
    };
    return groups;
}

const CliGroup* FindCliGroup(std::string_view name) {
    for (const CliGroup& g : CliGroups()) {
        if (name == g.name) return &g;
    }
    return nullptr;
}

}  // namespace quorvane
