#include "cli/line_cli.h"

#include <chrono>
#include <vector>

#include "app/find_tracker.h"
#include "model/memory_form.h"
#include "seams/ui.h"
#include "serial/comm.h"
#include "serial/mailbox.h"
#include "serial/port_list.h"

namespace quorvane {

int RunFind(const CliOptions& options, std::ostream& out, std::ostream& err) {
    std::vector<PortInfo> ports;
    if (options.findPorts.empty()) {
        ports = MakeSystemPortSource()->List();
    } else {
        for (const std::string& name : options.findPorts) {
            PortInfo info;
            info.name = name;
            ports.push_back(std::move(info));
        }
    }
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
        out << result.Text() << '\n';
        found = found || result.outcome == FindResult::Outcome::Tracker;
    }
    return found ? 0 : 1;
}

}  // namespace quorvane
