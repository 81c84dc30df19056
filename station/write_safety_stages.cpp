#include "station/write_safety_stages.h"

#include <algorithm>
#include <exception>
#include <set>
#include <span>

#include "link/groups.h"
#include "station/diff_command.h"
#include "station/exit_status.h"
#include "station/tracker_table.h"
#include "trust/compare.h"
#include "trust/stored_value.h"

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

// --- the tracker's own values before a write -----------------------------------------

namespace {

// The controls the job, or the tracker's row, gave a value; throws ESettingsFileError
// when the --load file can no longer be read.
std::set<std::string, std::less<>> GivenControls(PortSession& s, const TrackerTable* perTracker) {
    std::set<std::string, std::less<>> given;
    const StationJob& job = s.Job();
    if (job.load)
        for (std::string& c : ControlsInFile(*job.load)) given.insert(std::move(c));
    for (const auto& set : job.sets) given.insert(set.first);
    if (perTracker != nullptr) {
        if (const TrackerRow* row = perTracker->Find(s.Form().Text(perTracker->KeyColumn())))
            for (const auto& value : *row) given.insert(value.first);
    }
    return given;
}

// The blocks the job's command writes.
std::span<const BlockId> WrittenBlocks(const StationJob& job) {
    if (job.command != JobCommand::Write) return AllGroups().blocks;
    const Group* group = FindGroup(job.group);
    return group != nullptr ? group->blocks : std::span<const BlockId>();
}

}  // namespace

StageStatus ReadFirstStage::Begin(PortSession& s, Clock::time_point) {
    ended_ = false;
    read_ = {};
    const std::span<const BlockId> written = WrittenBlocks(s.Job());
    std::vector<BlockId> blocks(written.begin(), written.end());
    if (blocks.empty() && !backupFolder_) return StageStatus::Done;  // an unknown group: the command says so
    if (backupFolder_) {
        blocks.assign(AllGroups().blocks.begin(), AllGroups().blocks.end());
        s.Ui().SetStatusText(1, "Backing up...");
    } else {
        s.Ui().SetStatusText(1, "Reading the tracker's values...");
    }
    if (!s.Window().Safety().ReadTrackerBlocks(std::move(blocks), [this](const WriteSafety::TrackerRead& r) {
            ended_ = true;
            read_ = r;
        })) {
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    return StageStatus::Running;
}

StageStatus ReadFirstStage::Poll(PortSession& s, Clock::time_point) {
    if (!ended_) return StageStatus::Running;
    SessionUi& ui = s.Ui();
    WriteSafety& safety = s.Window().Safety();
    if (!read_.ok) {
        if (backupFolder_) {
            safety.BackupReadFailed(read_.error);
        } else {
            ui.SetStatusText(1, "Read Error");
            ui.ShowError("Write failed: the tracker's own values could not be read first (" + read_.error +
                         "). Nothing was written.");
        }
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    if (backupFolder_) {
        WriteSafetyOptions options = safety.Options();
        options.backupFolder = *backupFolder_;
        safety.SetOptions(options);
        if (!safety.SaveBackupOf(*read_.form)) {
            s.Fail(PortResult::Failed);
            return StageStatus::Failed;
        }
        s.Outcome().backupPath = safety.LastBackupPath();
    }
    std::set<std::string, std::less<>> given;
    try {
        given = GivenControls(s, perTracker_);
    } catch (const std::exception& e) {
        ui.ShowError(std::string(e.what()) + ". Nothing was written.");
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    const std::span<const BlockId> written = WrittenBlocks(s.Job());
    for (const StoredUnit& u : StoredUnits()) {
        if (given.contains(u.control) || std::find(written.begin(), written.end(), u.block) == written.end()) continue;
        if (u.readBack) {
            CopyControls(*read_.form, s.Form(), {u.control});
            continue;
        }
        // A box no read sets (a Reply current flag) takes its bit from the bytes read.
        const auto answer = read_.answers.find(u.block);
        if (answer == read_.answers.end()) continue;
        const auto bit = StoredValueOf(AnswerData(u.block, answer->second), Block(u.block).readOffset, u);
        if (bit) s.Form().SetChecked(u.control, *bit == "1");
    }
    read_ = {};
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
