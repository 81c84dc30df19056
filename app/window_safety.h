// The window's trust tools on the line: the reads beside the window (compare with
// the tracker, the backup before a write, the check after one), the options that
// turn them on, their last results and the changes since each group was last read or
// written. TForm1 owns one and hands it the port's bytes and ticks while it reads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/memory_form.h"
#include "seams/ui.h"
#include "blocks/memory_map.h"
#include "link/frame.h"
#include "trust/baseline.h"
#include "trust/compare.h"
#include "trust/trust_ui.h"
#include "trust/write_safety.h"

namespace quorvane {

class BlockReader;
class TForm1;
class TrafficRecorder;

// Shows a check's result in the plain boxes: "Verify OK" in a notice, otherwise the
// report in the error box.
void ShowVerifyInBoxes(Ui& ui, const Comparison& result);

class WriteSafety {
public:
    // `send` puts a frame on the window's port; `window` tells whether the port is
    // open and the tracker busy or still connecting; `loaded` runs when a file was
    // loaded into the window (its SettingsLoaded flag).
    WriteSafety(TForm1& window, Form& form, Ui& ui, TrafficRecorder& traffic, FrameWriter send,
                std::function<void()> loaded);
    ~WriteSafety();
    WriteSafety(const WriteSafety&) = delete;
    WriteSafety& operator=(const WriteSafety&) = delete;

    // Where results are shown; null (the default) for the plain boxes of the Ui.
    void SetUi(WriteSafetyUi* ui) { safetyUi_ = ui; }

    // Off at first. With both off every handler behaves and talks on the line as before.
    void SetOptions(WriteSafetyOptions options) { options_ = std::move(options); }
    const WriteSafetyOptions& Options() const { return options_; }

    // True while a backup, verification or compare read is under way. Button clicks
    // are refused then and the window should disable them.
    bool SideReadActive() const { return reader_ != nullptr; }

    // The tracker read into a headless form, the window untouched.
    struct TrackerRead {
        bool ok = false;
        std::string error;                  // shown in the error box already when !ok
        std::shared_ptr<MemoryForm> form;   // every block decoded; null when !ok
        ReadAnswers answers;                // the raw answers
    };
    using TrackerReadDone = std::function<void(const TrackerRead&)>;
    // Reads every block into a separate form and calls `done` once, from the receive
    // or tick handler that ends the read. False, and `done` never called, when the port
    // is closed, the tracker is busy or not connected yet (the reason is shown in the
    // error box). Closing the port abandons the read without calling `done`.
    bool ReadTrackerForm(TrackerReadDone done);
    // The same for `blocks` only; a read that fails is not shown (`error` holds the
    // reader's text, "Read Overtime!"): the caller says what it meant for its command.
    bool ReadTrackerBlocks(std::vector<BlockId> blocks, TrackerReadDone done);
    // Saves `tracker` (a whole read of the tracker) as a backup into
    // Options().backupFolder; false, with "Backup failed: ... Nothing was written." in
    // the error box, when it cannot be saved.
    bool SaveBackupOf(const Form& tracker);
    // A backup's read failed with the reader's `error`: "Backup Error" in panel 1 and
    // "Backup failed: ... Nothing was written." in the error box.
    void BackupReadFailed(const std::string& error);

    struct TrackerComparison {
        bool ok = false;
        std::string error;
        Comparison comparison;              // window = this side, tracker = other side
        std::shared_ptr<MemoryForm> tracker;  // for "take selected into window"
        // Set when the window's values were read from another tracker (other IMEI,
        // model or firmware) than the one now connected; `deviceNote` says which.
        bool otherDevice = false;
        std::string deviceNote;
    };
    using CompareDone = std::function<void(const TrackerComparison&)>;
    // "Compare with Tracker": ReadTrackerForm, then CompareForms(window, tracker).
    bool CompareWithTracker(CompareDone done);
    // "Compare with File...": the window against a settings file. Throws
    // ESettingsFileError for a file that cannot be read or is not a settings file.
    Comparison CompareWithFile(const std::string& path) const;
    // "Take selected into window": copies `controls` from `from` (a compare's other
    // side) into the window, then reports the changed marks.
    void TakeIntoWindow(const Form& from, const std::vector<std::string>& controls);
    // Sets a backup's own controls after the window loaded the settings file at `path`
    // (nothing for other files), then reports the changed marks.
    void Loaded(const std::string& path);
    // "Restore Backup...": loads a backup into the window like Load Settings does.
    // True when a file was loaded.
    bool LoadBackup(const std::string& path);

    // The same steps on request (the command line runs them as stages of its own, with
    // both options off). BackUp reads and saves a backup into Options().backupFolder
    // and calls `done` with whether it was saved; false, `done` never called, when the
    // port is closed, a side read runs, or the tracker is busy or not connected yet
    // (the last two said in the error box). VerifyLastWrite reads back what the last
    // completed write sent, reports through the Ui and calls `done` with whether the
    // read back completed; false when nothing was written since the port opened or the
    // tracker is busy or not connected yet.
    bool BackUp(std::function<void(bool saved)> done);
    bool VerifyLastWrite(std::function<void(bool read)> done);

    // The last verification's result (thisValue sent, or the window's value where it
    // was changed on the way; otherValue read), if any.
    const std::optional<Comparison>& LastVerify() const { return lastVerify_; }
    // The path of the last backup saved, if any.
    const std::optional<std::string>& LastBackupPath() const { return lastBackup_; }

    // What changed since each group was last read or written.
    const Baseline& Changes() const { return baseline_; }
    std::vector<std::string> ChangedControls() const { return baseline_.ChangedControls(form_); }
    std::vector<std::string> ChangedTabs() const { return baseline_.ChangedTabs(form_); }

    // --- What TForm1 tells it ------------------------------------------------------

    // A write click is about to run `run`: with "back up before writing" on and the
    // port open, the backup is taken first and `run` follows once it was saved (a
    // write its encoders would refuse throws before the backup). Otherwise `run` runs now.
    void BeforeWrite(std::string_view handler, const std::function<void()>& run);
    // Every frame put on the port by the engine; block writes are noted for the check.
    void NoteSent(std::span<const std::uint8_t> frame);
    // The values of a read or write of `blocks` are in the window (before its box).
    void Arrived(bool write, const std::vector<BlockId>& blocks);
    // A read or write of `blocks` completed and its box was closed.
    void Completed(bool write, const std::vector<BlockId>& blocks);
    // The port's bytes and the one-second tick while SideReadActive().
    void Receive(std::span<const std::uint8_t> bytes);
    void Tick();
    // The port closed: a side read under way ends without its report.
    void Abandon();

private:
    using SideDone = std::function<void(const BlockReader&)>;
    void StartSide(std::vector<BlockId> blocks, SideDone done);
    void FinishSideIfDone();
    bool StartVerify(std::function<void(bool)> done);
    void StartBackup(std::function<void(bool)> done);
    // True when a side read cannot start now: the tracker is busy or the connect poll
    // runs. The matching text is shown in the error box unless it is empty.
    bool Refuse(const char* busyText, const char* connectingText);
    void ShowVerifyResult(const Comparison& result);
    void ChangesUpdated();

    TForm1& window_;
    Form& form_;
    Ui& ui_;
    TrafficRecorder& traffic_;
    FrameWriter send_;
    std::function<void()> loaded_;
    WriteSafetyUi* safetyUi_ = nullptr;
    WriteSafetyOptions options_;
    Baseline baseline_;
    std::string sourceFirmware_, sourceImei_;  // the tracker the window's values were last read from
    SentBlocks sent_;                          // data of the block writes since the last write click
    SentBlocks lastWritten_;                   // what the last completed write sent
    std::shared_ptr<const MemoryForm> lastHeld_;  // the window's values of those blocks then
    std::unique_ptr<BlockReader> reader_;      // a side read under way
    SideDone sideDone_;
    std::optional<Comparison> lastVerify_;
    std::optional<std::string> lastBackup_;
};

}  // namespace quorvane
