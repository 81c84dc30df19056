// One port's run of a command: its own headless form, console, mailbox and window
// logic, taken through a fixed list of stages (connect, the tracker's own values,
// backup, the command, verify) by the station's loop. Nothing here blocks: the loop
// ticks the timers, drains the mailbox and steps the session.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "app/memory_form.h"
#include "cli/cli_options.h"
#include "cli/console_ui.h"
#include "station/line_prefix.h"
#include "station/station_mailbox.h"

namespace quorvane {

class TraceFile;

using Clock = std::chrono::steady_clock;

// How a port's run ended, as the record and the summary name it.
enum class PortResult { Completed, Failed, NoAnswer, NotOpened, NoStart };

// "completed", "failed", "no-answer", "not-opened" (a run refused before anything
// was sent is "failed").
const char* PortResultName(PortResult result);

// What one port's run leaves behind for the summary, the record and --json.
struct PortOutcome {
    PortResult result = PortResult::Failed;
    std::string message;  // the last notice or error text
    std::string imei;
    std::string sn;
    std::string firmware;
    std::chrono::system_clock::time_point startedAt;
    double seconds = 0;                          // start to end
    std::map<std::string, double> phaseSeconds;  // by stage name: connect, backup, write, read, verify
    std::optional<std::string> backupPath;       // set by a backup stage
    std::optional<std::string> verify;           // "ok" or "mismatch", set by a verify stage
    std::optional<int> mismatches;               // set by a verify stage
    std::vector<std::pair<std::string, std::string>> values;  // what --set and the tracker's row put in
};

enum class StageStatus { Running, Done, Failed };

class PortSession;

// One stage of a port's run. Begin starts it; Poll is asked on every turn of the
// loop while it is Running. A stage that fails says why through the session's Fail.
class SessionStage {
public:
    virtual ~SessionStage() = default;
    // The stage's key among the record's phase times; empty for an untimed stage.
    virtual std::string Name() const = 0;
    virtual StageStatus Begin(PortSession& session, Clock::time_point now) = 0;
    virtual StageStatus Poll(PortSession& session, Clock::time_point now) = 0;
};

using StageList = std::vector<std::unique_ptr<SessionStage>>;

// Where a port's lines go: straight to the program's streams with one port, behind
// "NAME: " with several.
struct SessionOutput {
    std::ostream& out;
    std::ostream& err;
    std::string prefix;
};

class PortSession {
public:
    PortSession(const CliOptions& options, std::string programDir, std::string port,
                const SessionOutput& output, Doorbell& bell, StageList stages);
    ~PortSession();
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Loads --load and applies --set and the authorization code; false when they do
    // not fit (the command cannot start; the reason is printed).
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

    // Ends the run with `result` (the message is the console's last text).
    void Fail(PortResult result);
    // Marks a run that is no tracker's record: a station's look at a port that
    // found nothing new there.
    void MarkQuiet() { quiet_ = true; }
    bool Quiet() const { return quiet_; }
    // Exit status of this run alone, as the one-port command line has it.
    int ExitStatus() const;

    const CliOptions& Options() const { return options_; }
    const std::string& Port() const { return port_; }
    MemoryForm& Form() { return form_; }
    ConsoleUi& Ui() { return ui_; }
    TForm1& Window() { return window_; }
    std::ostream& Out() { return streams_.Out(); }
    std::ostream& Err() { return streams_.Err(); }
    PortOutcome& Outcome() { return outcome_; }
    const PortOutcome& Outcome() const { return outcome_; }

private:
    void EnterStage(std::size_t index, Clock::time_point now);
    void Finish(Clock::time_point now);

    const CliOptions& options_;
    std::string port_;
    PortStreams streams_;
    MemoryForm form_;
    ConsoleUi ui_;
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
    bool severalPorts_ = false;         // lines carry the port's name
    std::unique_ptr<TraceFile> trace_;  // --trace
};

}  // namespace quorvane
