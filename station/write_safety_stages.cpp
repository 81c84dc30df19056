#include "station/write_safety_stages.h"

#include "station/diff_command.h"
#include "station/exit_status.h"

namespace quorvane {

namespace {

void PrintTiming(PortSession& s, Clock::time_point started) {
    if (!s.Job().timing) return;
    s.Err() << "timing: " << std::chrono::duration<double>(s.Now() - started).count() << '\n' << std::flush;
}

}  // namespace

// --- backup ------------------------------------------------------------------------

StageStatus BackupStage::Begin(PortSession& s, Clock::time_point) {
    TForm1& window = s.Window();
    WriteSafetyOptions options = window.Safety().Options();
    options.backupFolder = folder_;
    window.Safety().SetOptions(options);
    ended_ = false;
    if (!window.Safety().BackUp([this](bool saved) {
            ended_ = true;
            saved_ = saved;
        })) {
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    return StageStatus::Running;
}

StageStatus BackupStage::Poll(PortSession& s, Clock::time_point) {
    if (!ended_) return StageStatus::Running;
    if (!saved_) {
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    s.Outcome().backupPath = s.Window().Safety().LastBackupPath();
    return StageStatus::Done;
}

// --- verify ------------------------------------------------------------------------

StageStatus VerifyStage::Begin(PortSession& s, Clock::time_point) {
    ended_ = false;
    started_ = s.Now();
    if (!s.Window().Safety().VerifyLastWrite([this](bool read) {
            ended_ = true;
            read_ = read;
        })) {
        s.Ui().ShowError("Verify failed: nothing was written to verify");
        s.Outcome().verify = "failed";
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    return StageStatus::Running;
}

StageStatus VerifyStage::Poll(PortSession& s, Clock::time_point) {
    if (!ended_) return StageStatus::Running;
    PrintTiming(s, started_);
    const std::optional<Comparison>& result = s.Window().Safety().LastVerify();
    if (!read_ || !result) {
        s.Outcome().verify = "failed";
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    s.Outcome().verify = result->Same() ? "ok" : "mismatch";
    s.Outcome().mismatches = static_cast<int>(result->differences.size());
    if (!result->Same()) {
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    return StageStatus::Done;
}

void VerifyStage::Abort(PortSession& s) { s.Outcome().verify = "failed"; }

// --- diff --------------------------------------------------------------------------

StageStatus DiffConnectStage::Poll(PortSession& s, Clock::time_point now) {
    const StageStatus status = ConnectStage::Poll(s, now);
    if (status == StageStatus::Failed) s.Fail(PortResult::NoStart);
    return status;
}

StageStatus DiffStage::Begin(PortSession& s, Clock::time_point) {
    ended_ = false;
    tracker_.reset();
    started_ = s.Now();
    if (!s.Window().Safety().ReadTrackerForm([this](const WriteSafety::TrackerRead& r) {
            ended_ = true;
            tracker_ = r.form;
        })) {
        s.Fail(PortResult::NoStart);
        return StageStatus::Failed;
    }
    return StageStatus::Running;
}

StageStatus DiffStage::Poll(PortSession& s, Clock::time_point) {
    if (!ended_) return StageStatus::Running;
    PrintTiming(s, started_);
    // The files were read once before the port was opened; they are read again here,
    // for this port, so a file changed meanwhile is reported rather than half used.
    const std::optional<DiffSides> sides = ReadDiffFiles(s.Job(), s.Err());
    if (!sides || !tracker_) {
        s.Fail(PortResult::NoStart);
        return StageStatus::Failed;
    }
    const DiffResult result = CompareDiffSides(s.Job(), *sides, [this] { return tracker_; }, s.Out(), s.Err());
    if (result.differences) s.Outcome().differences = static_cast<int>(*result.differences);
    const int status = result.exitStatus;
    if (status == kExitNoStart) {
        s.Fail(PortResult::NoStart);
        return StageStatus::Failed;
    }
    if (status != kExitDone) {
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    return StageStatus::Done;
}

}  // namespace quorvane
