// The stages that make a write trustworthy: a backup of the tracker before the
// command, a read back of what it wrote after it, and diff's read of the tracker.
#pragma once

#include <optional>
#include <string>

#include "station/port_session.h"
#include "station/stages.h"

namespace quorvane {

// Saves DIR/IMEI/YYYYMMDD-HHMMSS.ini and prints "backup: PATH"; a backup that cannot be
// read or saved fails the run before anything is written.
class BackupStage : public SessionStage {
public:
    explicit BackupStage(std::string folder) : folder_(std::move(folder)) {}
    std::string Name() const override { return "backup"; }
    PortState State() const override { return PortState::BackingUp; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;

private:
    std::string folder_;
    bool ended_ = false;
    bool saved_ = false;
};

// write and write-all: reads the blocks the command writes (every block when a backup
// is asked for, which is saved from this same read), then gives every control of the
// written blocks that neither --load, --set nor the tracker's row gave the tracker's
// own value. A read or a backup that fails ends the run with nothing written.
class ReadFirstStage : public SessionStage {
public:
    ReadFirstStage(std::optional<std::string> backupFolder, const TrackerTable* perTracker)
        : backupFolder_(std::move(backupFolder)), perTracker_(perTracker) {}
    // The read is the backup's when there is one; otherwise a read of its own, so a
    // write that sends nothing has no write time.
    std::string Name() const override { return backupFolder_ ? "backup" : "read"; }
    PortState State() const override { return backupFolder_ ? PortState::BackingUp : PortState::Reading; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;

private:
    std::optional<std::string> backupFolder_;
    const TrackerTable* perTracker_;
    bool ended_ = false;
    WriteSafety::TrackerRead read_;
};

// Reads back every area the command wrote: "notice: Verify OK", or the mismatches and
// "error: Verify failed: N controls differ".
class VerifyStage : public SessionStage {
public:
    std::string Name() const override { return "verify"; }
    PortState State() const override { return PortState::Verifying; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;
    // A verification cut short is a failed one.
    void Abort(PortSession& s) override;

private:
    bool ended_ = false;
    bool read_ = false;
    Clock::time_point started_{};
};

// Connects for diff: a tracker that cannot be reached means the diff could not start.
class DiffConnectStage : public ConnectStage {
public:
    using ConnectStage::ConnectStage;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;
};

// diff with 'tracker' as a side: reads the tracker into a headless form and prints
// the differences. Differing is a failed run (exit 1); a side that cannot be read is
// a run that could not start (exit 2), a tracker that does not connect included.
class DiffStage : public SessionStage {
public:
    std::string Name() const override { return "read"; }
    PortState State() const override { return PortState::Reading; }
    StageStatus Begin(PortSession& s, Clock::time_point now) override;
    StageStatus Poll(PortSession& s, Clock::time_point now) override;

private:
    bool ended_ = false;
    std::shared_ptr<MemoryForm> tracker_;
    Clock::time_point started_{};
};

}  // namespace quorvane
