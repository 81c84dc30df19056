#include "cli/cli_runner.h"

#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/interrupt.h"
#include "cli/json_output.h"
#include "link/groups.h"
#include "cli/line_cli.h"
#include "cli/station_printer.h"
#include "serial/port_list.h"
#include "station/control_values.h"
#include "station/diff_command.h"
#include "station/escape.h"
#include "station/port_session.h"
#include "station/station.h"

namespace quorvane {
namespace {

// dump: the controls after --load and --set, without a tracker.
int RunDump(const CliOptions& options, const StationJob& job, std::ostream& out, std::ostream& err,
            const std::string& programDir) {
    StationPrinter printer(options, out, err);
    Doorbell bell;
    PortSession session(job, options.port,
                        SessionContext{programDir, printer, bell, [] { return Clock::now(); }, {}, false},
                        StageList{});
    if (!session.Prepare()) return kExitNoStart;
    std::vector<const Group*> groups;
    if (!options.group.empty()) {
        groups.push_back(FindGroup(options.group));
    } else {
        for (const Group& g : Groups()) groups.push_back(&g);
    }
    if (options.json) {  // one object: every control printed, by name
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (const Group* g : groups) AddControls(object, session.Form(), DataControls(g->tab));
        out << object.dump() << '\n';
        return kExitDone;
    }
    for (const Group* g : groups) PrintGroup(out, session.Form(), *g);
    return kExitDone;
}

// The station's loop on the wall clock. Ctrl+C or SIGTERM: with --repeat the first
// lets the runs under way finish and the second ends them at once; without it the
// first ends them at once. Either way every run cut short is written down.
int RunStation(const CliOptions& options, const StationJob& job, std::ostream& out, std::ostream& err,
               const std::string& programDir) {
    StationPrinter printer(options, out, err);
    Station station(job, printer, programDir);
    printer.SetSeveralPorts(station.SeveralPorts());
    if (!station.Start()) return station.ExitStatus();
    CatchInterrupt();
    const int stopAtOnce = job.repeat ? 2 : 1;
    int stops = 0;
    for (;;) {
        const int count = InterruptCount();
        if (count > stops) {
            stops = count;
            if (stops >= stopAtOnce) {
                station.StopNow();
            } else {
                station.RequestStop();
            }
        }
        if (!station.Step(Clock::now())) break;
        station.WaitForWork();
    }
    return station.ExitStatus();
}

}  // namespace

int RunCli(const CliOptions& options, std::ostream& out, std::ostream& err,
           const std::string& programDir) {
    if (options.command == CliCommand::Ports) {
        for (const std::string& name : ListSerialPorts()) {
            out << name << '\n';
            // Beside the name, on stderr, so the list stays names alone.
            if (const std::optional<int> latency = LatencyTimerMs(name)) {
                err << "latency: " << EscapeValue(LatencyTimerText(name, *latency)) << '\n';
            }
        }
        return kExitDone;
    }
    if (options.command == CliCommand::Find) return RunFind(options, out, err);
    const StationJob job = JobOf(options);
    if (options.command == CliCommand::Dump) return RunDump(options, job, out, err, programDir);
    if (options.command == CliCommand::Diff) {
        // The files are read before any port is opened; --load and --set apply to neither side.
        const std::optional<DiffSides> sides = ReadDiffFiles(job, err);
        if (!sides) return kExitNoStart;
        if (!DiffUsesTracker(job)) return RunDiff(job, *sides, {}, out, err);
    }
    return RunStation(options, job, out, err, programDir);
}

}  // namespace quorvane
