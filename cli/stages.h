// The stages of a port's run, and the list a command line asks for:
//   connect -> tracker values -> (backup) -> command -> (verify)
// A stage added later (a backup before writing, a verify after it) goes into
// MakeStages at its place; the session, the loop and the record need no change.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "cli/port_session.h"

namespace quorvane {

class TrackerTable;

// Opens the port and waits for the connect answer and the automatic Device ID read.
// Without a limit it waits for as long as the station runs.
class ConnectStage : public SessionStage {
public:
    explicit ConnectStage(std::optional<Clock::duration> limit) : limit_(limit) {}
    std::string Name() const override { return "connect"; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;

private:
    std::optional<Clock::duration> limit_;
    Clock::time_point deadline_{};
};

// Puts the connected tracker's row of the per-tracker file into the form.
class TrackerValuesStage : public SessionStage {
public:
    explicit TrackerValuesStage(const TrackerTable& table) : table_(table) {}
    std::string Name() const override { return {}; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession&, Clock::time_point) override { return StageStatus::Done; }

private:
    const TrackerTable& table_;
};

// Runs the command's button handler and waits for its completion notice; prints
// what the command reads and saves the settings file it names.
class CommandStage : public SessionStage {
public:
    explicit CommandStage(const CliOptions& options);
    // "read" for a command that reads the tracker, "write" for every other.
    std::string Name() const override { return name_; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;

private:
    std::string name_;
    std::size_t errorsBefore_ = 0;
    std::size_t noticesBefore_ = 0;
    Clock::time_point started_{};
    Clock::time_point deadline_{};
};

// info: the Info tab, DeviceID and RFID of the connected tracker.
class InfoStage : public SessionStage {
public:
    std::string Name() const override { return {}; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession&, Clock::time_point) override { return StageStatus::Done; }
};

// The stages of one run of `options`' command. `perTracker` may be null.
StageList MakeStages(const CliOptions& options, const TrackerTable* perTracker);

// The connect answer's identity of the tracker, into the session's outcome.
void NoteIdentity(PortSession& s);

}  // namespace quorvane
