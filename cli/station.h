// The command line's runner for one or several ports: a session per port, all
// driven by one loop that ticks every port's timers, runs what every port's serial
// component has posted and steps every session. With several ports each line is
// prefixed with its port's name and a summary closes the run.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/port_session.h"

namespace quorvane {

class TrackerTable;

// One port's attempts so far.
struct PortRecord {
    std::string port;
    int attempts = 0;
    PortOutcome last;
    int lastExitStatus = 0;
};

class Station {
public:
    Station(const CliOptions& options, std::ostream& out, std::ostream& err, std::string programDir);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Runs the command on every port; returns the exit status.
    int Run();

    // Called when a port's run has ended, before its session goes (the record, --json).
    std::function<void(PortSession&, const PortRecord&)> OnRunEnded;

private:
    // Runs one attempt on each of `ports`; false when the command cannot start.
    bool RunRound(const std::vector<std::size_t>& ports);
    std::unique_ptr<PortSession> MakeSession(const std::string& port);
    void PrintSummary();
    int ExitStatus() const;
    bool SeveralPorts() const { return records_.size() > 1; }

    const CliOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::string programDir_;
    std::vector<PortRecord> records_;
    Doorbell bell_;
};

}  // namespace quorvane
