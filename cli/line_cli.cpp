#include "cli/line_cli.h"

#include <chrono>
#include <vector>

#include "app/find_tracker.h"
#include "app/memory_form.h"
#include "app/ui.h"
#include "link/traffic.h"
#include "serial/comm.h"
#include "serial/mailbox.h"
#include "serial/port_list.h"

namespace quorvane {

TraceFile::TraceFile(const std::string& path) : file_(path, std::ios::out | std::ios::trunc) {
    if (!file_) throw EUsage("--trace: cannot write " + path);
    file_ << TrafficHeadingLine() << '\n' << std::flush;
}

TraceFile::~TraceFile() {
    if (recorder_ != nullptr) recorder_->Unsubscribe(subscription_);
}

void TraceFile::Attach(TrafficRecorder& recorder) {
    if (recorder_ != nullptr) recorder_->Unsubscribe(subscription_);
    recorder_ = &recorder;
    recorder.SetEnabled(true);
    subscription_ = recorder.Subscribe([this](const TrafficRow& row) {
        // Flushed row by row: a trace must hold everything up to a crash or a kill.
        file_ << FormatTrafficLine(row) << '\n' << std::flush;
    });
}

void ShowOpenFailure(Ui& ui, const ECommsError& error) {
    ui.ShowError(error.what());
    if (!error.Detail().empty()) ui.ShowError(error.Detail());
}

std::string TracePath(const std::string& path, const std::string& port, bool severalPorts) {
    if (!severalPorts) return path;
    const std::size_t slash = port.find_last_of('/');
    return path + "." + (slash == std::string::npos ? port : port.substr(slash + 1));
}

std::string PortLostLine(const std::string& port) { return "error: port lost: " + port; }

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
