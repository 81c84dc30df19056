// One port's run of a job: its own headless form, Ui, mailbox and window logic,
// taken through a fixed list of stages (connect, the tracker's own values, backup,
// the command, verify) by the station's loop. Nothing here blocks: the loop ticks
// the timers, drains the mailbox and steps the session.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "model/memory_form.h"
#include "station/port_lines.h"
#include "station/port_outcome.h"
#include "station/session_ui.h"
#include "station/station_job.h"
#include "station/station_mailbox.h"
#include "station/station_observer.h"

namespace quorvane {

class TraceFile;

// Where the station's time comes from: steady_clock in a front end, a hand-moved
// clock in tests.
using StationClock = std::function<Clock::time_point()>;

enum class StageStatus { Running, Done, Failed };

class PortSession;

// One stage of a port's run. Begin starts it; Poll is asked on every turn of the
// loop while it is Running. A stage that fails says why through the session's Fail.
class SessionStage {
public:
    virtual ~SessionStage() = default;
    // The stage's key among the record's phase times; empty for an untimed stage.
    virtual std::string Name() const = 0;
    // Where a port stands while this stage runs.
    virtual PortState State() const = 0;
    virtual StageStatus Begin(PortSession& session, Clock::time_point now) = 0;
    virtual StageStatus Poll(PortSession& session, Clock::time_point now) = 0;
};

using StageList = std::vector<std::unique_ptr<SessionStage>>;

// What a session is given besides its job and stages.
struct SessionContext {
    std::string programDir;
    StationObserver& observer;
    Doorbell& bell;
    StationClock clock;
    // The name the session's lines go out under: the port, or empty for lines that
    // belong to the station as a whole.
    std::string lineName;
    bool severalPorts = false;  // a trace file per port
};

class PortSession {
public:
    PortSession(const StationJob& job, std::string port, const SessionContext& context, StageList stages);
    ~PortSession();
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Loads the job's settings file and applies its values and authorization code;
    // false when they do not fit (the command cannot start; the reason is printed).
    bool Prepare();

    // Starts the first stage.
    void Start(Clock::time_point now);
    // One 10 ms tick of the window's timers: Timer1 always, Timer2 every 100th.
    void Tick();
    // Runs what the serial component has posted.
    void Drain() { mailbox_.Drain(); }
    // Moves through the stages as far as they allow.
    void Step(Clock::time_point now);
    bool Finished() const { return finished_; }
    bool Started() const { return started_; }
    // The stage running now, by name; empty before the start and when finished.
    std::string StageName() const;
    // The time now, from the station's clock.
    Clock::time_point Now() const { return clock_(); }

    // Ends a run in flight at once: what was awaited is dropped, the port closed.
    void Interrupt(Clock::time_point now);
    // Ends the run with `result` (the message is the Ui's last text).
    void Fail(PortResult result);
    // Marks a run that is no tracker's record: a station's look at a port that
    // found nothing new there.
    void MarkQuiet() { quiet_ = true; }
    bool Quiet() const { return quiet_; }
    // Exit status of this run alone, as the one-port command line has it.
    int ExitStatus() const;

    const StationJob& Job() const { return job_; }
    const std::string& Port() const { return port_; }
    MemoryForm& Form() { return form_; }
    const MemoryForm& Form() const { return form_; }
    SessionUi& Ui() { return ui_; }
    TForm1& Window() { return window_; }
    std::ostream& Out() { return streams_.Out(); }
    std::ostream& Err() { return streams_.Err(); }
    PortOutcome& Outcome() { return outcome_; }
    const PortOutcome& Outcome() const { return outcome_; }

private:
    void EnterStage(std::size_t index, Clock::time_point now);
    void Finish(Clock::time_point now);
    void Report(PortState state);

    const StationJob& job_;
    std::string port_;
    StationObserver& observer_;
    StationClock clock_;
    bool severalPorts_;
    PortStreams streams_;
    std::unique_ptr<quorvane::Ui> shown_;
    MemoryForm form_;
    SessionUi ui_;
    StationMailbox mailbox_;
    TForm1 window_;
    StageList stages_;
    std::size_t stage_ = 0;
    Clock::time_point stageStart_{};
    Clock::time_point runStart_{};
    unsigned ticks_ = 0;
    bool started_ = false;
    bool finished_ = false;
    bool quiet_ = false;
    PortOutcome outcome_;
    std::unique_ptr<TraceFile> trace_;
};

}  // namespace quorvane
