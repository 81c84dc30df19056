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
#include "station/port_session.h"
#include "station/run_record.h"
#include "station/tracker_table.h"

namespace quorvane {

// One port's attempts so far.
struct PortRecord {
    std::string port;
    int attempts = 0;
    PortOutcome last;
    int lastExitStatus = 0;
};

// `arguments` with every --port replaced by `ports`, as a shell command line.
std::string RetryCommandLine(const std::vector<std::string>& arguments, const std::vector<std::string>& ports);

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
    // A port as the loop sees it: the session running there, or when the next one
    // starts; with --repeat, the tracker served last and whether it has gone since.
    struct Slot {
        std::size_t record = 0;
        std::unique_ptr<PortSession> session;
        std::optional<Clock::time_point> startAt;
        std::string lastImei;
        bool away = true;
    };

    // Reads the per-tracker file and opens the record file; false (and the reason
    // printed) when either fails.
    bool OpenFiles();
    // Tries --load and --set on a form of their own: false when they do not fit.
    bool CommandCanStart();
    // Runs one attempt on each of `ports`.
    void RunRound(const std::vector<std::size_t>& ports);
    // --repeat: serves every port until interrupted.
    void RunRepeat();
    // The loop: starts sessions when due, ticks, drains and steps them, until no
    // slot has a session running or due.
    void Drive(std::vector<Slot>& slots);
    void SessionEnded(Slot& slot, Clock::time_point now);
    void RunEnded(PortSession& session, PortRecord& record);
    std::unique_ptr<PortSession> MakeSession(Slot& slot);
    void PrintSummary(const std::vector<PortRecord>& lines);
    int ExitStatus() const;
    bool SeveralPorts() const { return records_.size() > 1; }

    const CliOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::string programDir_;
    std::vector<PortRecord> records_;
    std::vector<PortRecord> served_;  // --repeat: every tracker served, in order
    std::optional<TrackerTable> perTracker_;
    std::unique_ptr<RecordFile> recordFile_;
    bool recordFailed_ = false;
    Doorbell bell_;
};

}  // namespace quorvane
