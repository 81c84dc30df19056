#include "cli/cli_runner.h"

#include "station/control_values.h"
#include "station/diff_command.h"
#include "cli/groups.h"
#include "cli/line_cli.h"
#include "station/port_session.h"
#include "station/stages.h"
#include "station/station.h"
#include "serial/port_list.h"

namespace quorvane {
namespace {

// dump: the controls after --load and --set, without a tracker.
int RunDump(const CliOptions& options, std::ostream& out, std::ostream& err, const std::string& programDir) {
    Doorbell bell;
    PortSession session(options, programDir, options.port, SessionOutput{out, err, {}}, bell, StageList{});
    if (!session.Prepare()) return kExitNoStart;
    if (!options.group.empty()) {
        PrintGroup(out, session.Form(), *FindCliGroup(options.group));
    } else {
        for (const CliGroup& g : CliGroups()) PrintGroup(out, session.Form(), g);
    }
    return kExitDone;
}

}  // namespace

int RunCli(const CliOptions& options, std::ostream& out, std::ostream& err,
           const std::string& programDir) {
    if (options.command == CliCommand::Ports) {
        for (const std::string& name : ListSerialPorts()) out << name << '\n';
        return kExitDone;
    }
    if (options.command == CliCommand::Find) return RunFind(options, out, err);
    if (options.command == CliCommand::Dump) return RunDump(options, out, err, programDir);
    if (options.command == CliCommand::Diff) {
        // The files are read before any port is opened; --load and --set apply to neither side.
        const std::optional<DiffSides> sides = ReadDiffFiles(options, err);
        if (!sides) return kExitNoStart;
        if (!DiffUsesTracker(options)) return RunDiff(options, *sides, {}, out, err);
    }
    Station station(options, out, err, programDir);
    return station.Run();
}

}  // namespace quorvane
