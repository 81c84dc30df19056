// A station: one job run on one or several ports, a session per port, all driven by
// one loop that the front end turns. Each turn runs what every port's serial
// component has posted, starts the runs that are due, steps every session and ticks
// the window timers when a tick is due. With retries, the ports that failed run
// again after every other port is done; with repeat, each port serves every tracker
// that comes until the station is asked to stop.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/port_outcome.h"
#include "station/port_session.h"
#include "station/run_record.h"
#include "station/station_job.h"
#include "station/station_mailbox.h"
#include "station/station_observer.h"
#include "station/tracker_table.h"

namespace quorvane {

class Station {
public:
    // `clock` gives the time for what the station measures and schedules itself.
    Station(const StationJob& job, StationObserver& observer, std::string programDir,
            StationClock clock = [] { return Clock::now(); });
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // The job's ports, "all" resolved, each once.
    const std::vector<std::string>& Ports() const { return ports_; }
    bool SeveralPorts() const { return ports_.size() > 1; }

    // Reads the job's files, tries its values and starts the first round. False when
    // the job cannot start: the reason has gone out as a line and ExitStatus says so.
    bool Start();
    // One turn of the loop at `now`. False once every run has ended.
    bool Step(Clock::time_point now);
    // Sleeps until a port has posted something or the next tick is due; nothing when
    // the last turn ticked (the next turn is due at once).
    void WaitForWork();
    // Finish the runs under way (each with its record) and start no further one: with
    // repeat, the ports still looking for a tracker are let go.
    void RequestStop() { stopRequested_ = true; }
    // Ends every run at once: each one under way is "interrupted" and written down
    // as such, the ports still looking are let go; the summary follows at the next Step.
    void StopNow();
    // A port that appeared while the station runs: served from now on, like the
    // others. Nothing when the port is there already or the station is stopping.
    void AddPort(const std::string& port);
    bool Finished() const { return finished_; }

    // The exit status of the whole job, as the command line has it.
    int ExitStatus() const;

private:
    // A port as the loop sees it: the session running there, or when the next one
    // starts; with repeat, the tracker served last and whether it has gone since.
    struct Slot {
        std::size_t record = 0;
        std::unique_ptr<PortSession> session;
        std::optional<Clock::time_point> startAt;
        std::string lastImei;
        bool away = true;
        bool waiting = false;  // its device is away, and the user has been told so once
    };

    // Reads the per-tracker file and opens the record file; false (and the reason
    // told) when either fails.
    bool OpenFiles();
    // Tries the job's settings file and values on a form of their own: false when
    // they do not fit.
    bool CommandCanStart();
    // One attempt on each of `records`, starting now.
    void BeginRound(const std::vector<std::size_t>& records);
    // A round has ended: the next round of retries, or the end.
    void RoundEnded();
    // Starts, steps and ends the slots' sessions; true while any is running or due.
    bool StepSlots(Clock::time_point now);
    void SessionEnded(Slot& slot, Clock::time_point now);
    // Repeat: where a port goes on after a run.
    void RepeatEnded(Slot& slot, const PortSession& session, Clock::time_point now);
    void RunEnded(PortSession& session, PortRecord& record);
    std::unique_ptr<PortSession> MakeSession(Slot& slot);
    SessionContext Context(std::string lineName);
    void StationLine(const std::string& text);
    void Finish();

    const StationJob& job_;
    StationObserver& observer_;
    std::string programDir_;
    StationClock clock_;
    std::vector<std::string> ports_;
    std::vector<PortRecord> records_;
    std::vector<PortRecord> served_;  // repeat: every tracker served, in order
    std::optional<TrackerTable> perTracker_;
    std::unique_ptr<RecordFile> recordFile_;
    bool recordFailed_ = false;
    Doorbell bell_;
    std::deque<Slot> slots_;  // a session holds its slot by reference
    int retriesDone_ = 0;
    Clock::time_point nextTick_{};
    bool ticked_ = false;
    bool stopRequested_ = false;
    bool finished_ = false;
    std::optional<int> noStart_;  // the job could not start
};

}  // namespace quorvane
