// The stages of a port's run, and the list a job asks for:
//   connect -> tracker values -> (backup) -> command -> (verify)
// A write reads the tracker first (read-first, doubling as the backup), unless the job
// asks for the window's start values for everything not given.
// A stage added later (a backup before writing, a verify after it) goes into
// MakeStages at its place; the session, the loop and the record need no change.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/groups.h"
#include "station/port_session.h"

namespace quorvane {

class TrackerTable;

// Opens the port and waits for the connect answer and the automatic Device ID read,
// at most `limit`. A quiet stage says nothing when the port cannot be opened or
// nothing answers: a station looking for the next tracker expects both.
class ConnectStage : public SessionStage {
public:
    explicit ConnectStage(Clock::duration limit, bool quiet = false) : limit_(limit), quiet_(quiet) {}
    std::string Name() const override { return "connect"; }
    PortState State() const override { return quiet_ ? PortState::Waiting : PortState::Connecting; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;

private:
    Clock::duration limit_;
    bool quiet_;
    Clock::time_point deadline_{};
};

// Lets the run go on when `admit` accepts the connected tracker. Otherwise the port
// stays open and the tracker is asked for its identity every `pause`: the run goes on
// once `admit` accepts the answer, and ends quietly when the port is lost or no
// answer comes within `limit`.
class AdmitStage : public SessionStage {
public:
    AdmitStage(std::function<bool(const PortOutcome&)> admit, Clock::duration pause, Clock::duration limit)
        : admit_(std::move(admit)), pause_(pause), limit_(limit) {}
    std::string Name() const override { return {}; }
    // A tracker served already and still there is waited on, like an empty port.
    PortState State() const override { return PortState::Waiting; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;

private:
    std::function<bool(const PortOutcome&)> admit_;
    Clock::duration pause_;
    Clock::duration limit_;
    bool asking_ = false;
    Clock::time_point nextAsk_{};
    Clock::time_point deadline_{};
};

// Puts the connected tracker's row of the per-tracker file into the form.
class TrackerValuesStage : public SessionStage {
public:
    explicit TrackerValuesStage(const TrackerTable& table) : table_(table) {}
    std::string Name() const override { return {}; }
    PortState State() const override { return PortState::Connecting; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession&, Clock::time_point) override { return StageStatus::Done; }

private:
    const TrackerTable& table_;
};

// Runs the command's button handler and waits for its operation to end; prints
// what the command reads and saves the settings file it names.
class CommandStage : public SessionStage {
public:
    explicit CommandStage(const StationJob& job);
    // "read" for a command that reads the tracker, "write" for every other.
    std::string Name() const override { return name_; }
    PortState State() const override { return name_ == "read" ? PortState::Reading : PortState::Writing; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;
    void Abort(PortSession& s) override;

private:
    std::string name_;
    std::shared_ptr<std::optional<OperationResult>> ended_;
    int resultHook_ = 0;
    std::size_t errorsBefore_ = 0;
    std::size_t noticesBefore_ = 0;
    Clock::time_point started_{};
    Clock::time_point deadline_{};
};

// info: the Info tab, DeviceID and RFID of the connected tracker.
class InfoStage : public SessionStage {
public:
    std::string Name() const override { return {}; }
    PortState State() const override { return PortState::Reading; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession&, Clock::time_point) override { return StageStatus::Done; }
};

// What shapes a run's stages beyond the job itself.
struct StagePlan {
    const TrackerTable* perTracker = nullptr;
    // The connect limit instead of the job's, and quiet about ports that are empty.
    std::optional<Clock::duration> connectLimit;
    bool quietConnect = false;
    // When set, only a tracker it accepts is served (a station serving each once);
    // one it refuses is asked again every `askPause`, at most `askLimit` for its answer.
    std::function<bool(const PortOutcome&)> admit;
    Clock::duration askPause = std::chrono::seconds(1);
    Clock::duration askLimit = std::chrono::seconds(2);
};

// The stages of one run of `job`'s command.
StageList MakeStages(const StationJob& job, const StagePlan& plan);

// The connect answer's identity of the tracker, into the session's outcome.
void NoteIdentity(PortSession& s);

}  // namespace quorvane
