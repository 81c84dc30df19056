#include "cli/cli_runner.h"

#include "cli/control_values.h"
#include "cli/diff_command.h"
#include "link/groups.h"
#include "cli/line_cli.h"
#include "cli/port_session.h"
#include "cli/stages.h"
#include "cli/station.h"
#include "serial/port_list.h"

namespace quorvane {
namespace {

// dump: the controls after --load and --set, without a tracker.
int RunDump(const CliOptions& options, std::ostream& out, std::ostream& err, const std::string& programDir) {
    Doorbell bell;
    PortSession session(options, programDir, options.port, SessionOutput{out, err, {}}, bell, StageList{});
    if (!session.Prepare()) return kExitNoStart;
    if (!options.group.empty()) {
        PrintGroup(out, session.Form(), *FindGroup(options.group));
    } else {
        for (const Group& g : Groups()) PrintGroup(out, session.Form(), g);
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
