#include "cli/line_cli.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "app/find_tracker.h"
#include "cli/json_output.h"
#include "model/memory_form.h"
#include "seams/ui.h"
#include "serial/comm.h"
#include "serial/mailbox.h"
#include "serial/port_list.h"
#include "station/escape.h"

namespace quorvane {

namespace {

// The ports to ask: every listed one, or those given (--port and arguments, "all"
// for every listed one), each once.
std::vector<PortInfo> PortsToAsk(const std::vector<std::string>& names) {
    std::vector<PortInfo> listed;
    bool listedRead = false;
    const auto list = [&]() -> const std::vector<PortInfo>& {
        if (!listedRead) listed = MakeSystemPortSource()->List();
        listedRead = true;
        return listed;
    };
    if (names.empty()) return list();
    std::vector<PortInfo> ports;
    const auto add = [&ports](const PortInfo& info) {
        const bool known = std::any_of(ports.begin(), ports.end(),
                                       [&info](const PortInfo& p) { return p.name == info.name; });
        if (!known) ports.push_back(info);
    };
    for (const std::string& name : names) {
        if (name == "all") {
            for (const PortInfo& info : list()) add(info);
        } else {
            PortInfo info;
            info.name = name;
            add(info);
        }
    }
    return ports;
}

}  // namespace

int RunFind(const CliOptions& options, std::ostream& out, std::ostream& err) {
    const std::vector<PortInfo> ports = PortsToAsk(options.findPorts);
    if (ports.empty()) {
        err << "error: no serial ports found\n";
        return 1;
    }
    MemoryForm form;
    form.SetText("AuthCode", options.auth);
    QueueMailbox mailbox;
    TrackerFinder finder(mailbox, form);
    try {
        finder.Start(ports);
    } catch (const std::exception& e) {  // an authorization code that is no number
        err << "error: " << e.what() << '\n';
        return 2;
    }
    // Bounded by the finder's own answer window.
    while (!finder.Poll()) {
        if (mailbox.WaitFor(std::chrono::milliseconds(10))) mailbox.Drain();
    }
    bool found = false;
    for (const FindResult& result : finder.Results()) {
        if (options.json) {
            out << FindResultJson(result).dump() << '\n';
        } else {
            out << result.Text() << '\n';
        }
        found = found || result.outcome == FindResult::Outcome::Tracker;
        // Every probe has closed its port by now: whoever still holds it is another program.
        if (result.outcome == FindResult::Outcome::NoAnswer) {
            const std::vector<PortHolder> holders = OtherPortHolders(result.port.name);
            if (!holders.empty()) {
                err << result.port.name << ": error: " << EscapeValue(SecondReaderText(result.port.name, holders))
                    << '\n';
            }
        }
    }
    return found ? 0 : 1;
}

}  // namespace quorvane
