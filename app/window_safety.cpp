#include "app/window_safety.h"

#include <chrono>
#include <exception>
#include <utility>

#include "app/form1.h"
#include "blocks/blocks.h"
#include "link/block_reader.h"
#include "link/engine.h"
#include "link/groups.h"
#include "link/traffic.h"
#include "settings/backup_section.h"
#include "settings/settings_file.h"
#include "trust/stored_value.h"

namespace quorvane {

namespace {

// Every block, in the order "Read All" reads them.
std::vector<BlockId> AllBlocks() { return {AllGroups().blocks.begin(), AllGroups().blocks.end()}; }

// The blocks a button handler writes to the tracker (none for Default, which writes
// the factory settings); nullopt for a handler that writes nothing. Their encoders
// must succeed before a backup is worth taking.
std::optional<std::span<const BlockId>> WrittenBlocks(std::string_view handler) {
    const auto target = OperationOfHandler(handler);
    if (!target) return std::nullopt;
    switch (target->op) {
    case Operation::WriteGroup:
    case Operation::WriteAll: return target->group->blocks;
    case Operation::Default: return std::span<const BlockId>{};
    default: return std::nullopt;
    }
}

}  // namespace

void ShowVerifyInBoxes(Ui& ui, const Comparison& result) {
    if (result.Same()) {
        ui.Notice("Verify OK");
        return;
    }
    ui.ShowError(WriteSafetyUi::VerifyFailedReport(result));
}

WriteSafety::WriteSafety(TForm1& window, Form& form, Ui& ui, TrafficRecorder& traffic, FrameWriter send,
                         std::function<void()> loaded)
    : window_(window), form_(form), ui_(ui), traffic_(traffic), send_(std::move(send)), loaded_(std::move(loaded)) {}

WriteSafety::~WriteSafety() = default;

void WriteSafety::ShowVerifyResult(const Comparison& result) {
    if (safetyUi_ != nullptr)
        safetyUi_->ShowVerifyResult(result);
    else
        ShowVerifyInBoxes(ui_, result);
}

void WriteSafety::ChangesUpdated() {
    if (safetyUi_ != nullptr) safetyUi_->ChangesUpdated();
}

// A side read must not meet the answer of an operation still under way, nor the
// connect poll's: the tracker answers only one request at a time, and a Device ID
// answer looks like a GPRS one.
bool WriteSafety::Refuse(const char* busyText, const char* connectingText) {
    const char* text = window_.Busy() ? busyText : window_.ConnectPollCount() != 0 ? connectingText : nullptr;
    if (text == nullptr) return false;
    if (*text != '\0') ui_.ShowError(text);
    return true;
}

void WriteSafety::StartSide(std::vector<BlockId> blocks, SideDone done) {
    reader_ = std::make_unique<BlockReader>(
        [this](const std::uint8_t* data, std::uint16_t count) {
            const bool taken = send_(data, count);
            if (traffic_.Enabled()) traffic_.RecordFrame(TrafficDirection::Sent, {data, count}, !taken);
            return taken;
        },
        std::move(blocks));
    reader_->SetTraffic(&traffic_);
    sideDone_ = std::move(done);
    reader_->Start();
    FinishSideIfDone();
}

void WriteSafety::FinishSideIfDone() {
    if (!reader_ || !reader_->Done()) return;
    const std::unique_ptr<BlockReader> ended = std::move(reader_);
    const SideDone done = std::move(sideDone_);
    sideDone_ = nullptr;
    if (done) done(*ended);
}

void WriteSafety::Receive(std::span<const std::uint8_t> bytes) {
    if (!reader_) return;
    reader_->Receive(bytes);
    FinishSideIfDone();
}

void WriteSafety::Tick() {
    if (!reader_) return;
    reader_->Tick();
    FinishSideIfDone();
}

void WriteSafety::Abandon() {
    reader_.reset();
    sideDone_ = nullptr;
}

void WriteSafety::NoteSent(std::span<const std::uint8_t> bytes) {
    const FrameView frame(bytes);
    if (frame.Whole() && frame.Command() == CmdWriteBlock) {
        if (const auto id = WrittenBlock(frame.Payload())) {
            const std::span<const std::uint8_t> data = frame.BlockData();
            sent_[*id] = std::vector<std::uint8_t>(data.begin(), data.end());
        }
    }
}

void WriteSafety::Arrived(bool write, const std::vector<BlockId>& blocks) {
    baseline_.Take(form_, blocks);
    if (!write) {
        sourceFirmware_ = form_.Text("Firmware");
        sourceImei_ = form_.Text("IMEI");
    }
    ChangesUpdated();
}

void WriteSafety::Completed(bool write, const std::vector<BlockId>& blocks) {
    if (write) {
        lastWritten_.clear();
        for (BlockId id : blocks)
            if (const auto it = sent_.find(id); it != sent_.end()) lastWritten_.insert(*it);
        // What the window held as the write ended is what the tracker must hold.
        std::vector<std::string> controls;
        for (const StoredUnit& u : StoredUnits())
            if (lastWritten_.contains(u.block)) controls.push_back(u.control);
        auto held = std::make_shared<MemoryForm>();
        CopyControls(form_, *held, controls);
        lastHeld_ = std::move(held);
    }
    if (write && options_.verifyAfterWrite) StartVerify(nullptr);
}

// Reads back what the last write sent and reports the comparison; `done` gets
// whether the read back completed.
bool WriteSafety::StartVerify(std::function<void(bool)> done) {
    if (lastWritten_.empty()) return false;
    ui_.SetStatusText(1, "Verifying...");
    std::vector<BlockId> toRead;
    for (const auto& entry : lastWritten_) toRead.push_back(entry.first);
    StartSide(std::move(toRead), [this, written = lastWritten_, held = lastHeld_,
                                  done = std::move(done)](const BlockReader& r) {
        const bool read = r.Error().empty();
        if (!read) {
            lastVerify_.reset();
            ui_.SetStatusText(1, "Verify Error");
            ui_.ShowError("Verify failed: the tracker could not be read back (" + r.Error() + ")");
        } else {
            lastVerify_ = VerifyWrite(written, r.Answers(), held.get());
            ui_.SetStatusText(1, lastVerify_->Same() ? "Verify OK" : "Verify failed");
            ShowVerifyResult(*lastVerify_);
        }
        if (done) done(read);
    });
    return true;
}

// Reads the whole configuration and saves it as a backup; `done` gets whether it
// was saved. Otherwise the user is told why and that nothing was written.
void WriteSafety::StartBackup(std::function<void(bool)> done) {
    ui_.SetStatusText(1, "Backing up...");
    StartSide(AllBlocks(), [this, done = std::move(done)](const BlockReader& r) {
        if (!r.Error().empty()) {
            BackupReadFailed(r.Error());
            done(false);
            return;
        }
        MemoryForm copy;
        DecodeAnswers(copy, r.Answers());
        done(SaveBackupOf(copy));
    });
}

void WriteSafety::BackupReadFailed(const std::string& error) {
    ui_.SetStatusText(1, "Backup Error");
    ui_.ShowError("Backup failed: the tracker's configuration could not be read (" + error + "). Nothing was written.");
}

bool WriteSafety::SaveBackupOf(const Form& tracker) {
    const auto path = NewBackupPath(options_.backupFolder, form_.Text("IMEI"), std::chrono::system_clock::now());
    try {
        SaveBackup(tracker, path, options_.keepBackups);
    } catch (const std::exception& e) {
        ui_.SetStatusText(1, "Backup Error");
        // Why the file could not be written, in brackets as the other backup failures say it.
        const auto* file = dynamic_cast<const ESettingsFileError*>(&e);
        const std::string reason = file != nullptr && !file->Reason().empty() ? " (" + file->Reason() + ")" : "";
        ui_.ShowError(std::string("Backup failed: ") + e.what() + reason + ". Nothing was written.");
        return false;
    }
    lastBackup_ = path.string();
    if (safetyUi_ != nullptr) safetyUi_->BackupSaved(*lastBackup_);
    return true;
}

constexpr const char* kBackupBusy = "Backup failed: the tracker is busy with another operation. Nothing was written.";
constexpr const char* kBackupConnecting = "Backup failed: the tracker is not connected yet. Nothing was written.";

void WriteSafety::BeforeWrite(std::string_view handler, const std::function<void()>& run) {
    const auto written = WrittenBlocks(handler);
    if (written) sent_.clear();
    if (!written || !options_.backUpBeforeWriting || !window_.PortOpen()) {
        run();
        return;
    }
    // A write its own encoders would refuse is refused before the backup.
    TxPayload scratch;
    for (const BlockId id : *written) EncoderOf(id)(form_, scratch);
    if (Refuse(kBackupBusy, kBackupConnecting)) return;
    StartBackup([this, run](bool saved) {
        if (!saved) return;
        sent_.clear();
        run();
    });
}

bool WriteSafety::BackUp(std::function<void(bool saved)> done) {
    if (!window_.PortOpen() || reader_ || Refuse(kBackupBusy, kBackupConnecting)) return false;
    StartBackup(std::move(done));
    return true;
}

bool WriteSafety::VerifyLastWrite(std::function<void(bool read)> done) {
    if (!window_.PortOpen() || reader_ || Refuse("", "")) return false;
    return StartVerify(std::move(done));
}

bool WriteSafety::ReadTrackerForm(TrackerReadDone done) {
    return ReadTrackerBlocks(AllBlocks(), [this, done = std::move(done)](const TrackerRead& read) {
        if (!read.ok) {
            TrackerRead shown = read;
            shown.error = "Could not read the tracker (" + read.error + ")";
            ui_.ShowError(shown.error);
            if (done) done(shown);
            return;
        }
        if (done) done(read);
    });
}

bool WriteSafety::ReadTrackerBlocks(std::vector<BlockId> blocks, TrackerReadDone done) {
    if (!window_.PortOpen()) {
        ui_.ShowError("The port is not open");
        return false;
    }
    if (reader_) {
        ui_.ShowError("The tracker is busy; try again when the operation has ended");
        return false;
    }
    if (Refuse("The tracker is busy; try again when the operation has ended",
               "The tracker is not connected yet; try again when it has answered"))
        return false;
    StartSide(std::move(blocks), [done = std::move(done)](const BlockReader& r) {
        TrackerRead result;
        if (!r.Error().empty()) {
            result.error = r.Error();
        } else {
            result.ok = true;
            result.form = std::make_shared<MemoryForm>();
            DecodeAnswers(*result.form, r.Answers());
            result.answers = r.Answers();
        }
        if (done) done(result);
    });
    return true;
}

bool WriteSafety::CompareWithTracker(CompareDone done) {
    return ReadTrackerForm([this, done = std::move(done)](const TrackerRead& read) {
        TrackerComparison result;
        result.ok = read.ok;
        result.error = read.error;
        if (read.ok) {
            result.tracker = read.form;
            result.comparison = CompareForms(form_, *read.form, CompareScope::Tracker);
            const std::string firmware = form_.Text("Firmware");
            const std::string imei = form_.Text("IMEI");
            if (!sourceFirmware_.empty() || !sourceImei_.empty()) {
                if (sourceFirmware_ != firmware || sourceImei_ != imei) {
                    result.otherDevice = true;
                    result.deviceNote = "The window's values were read from tracker " + sourceImei_ + " (" +
                                        sourceFirmware_ + "); the tracker connected is " + imei + " (" + firmware +
                                        ")";
                }
            }
        }
        if (done) done(result);
    });
}

Comparison WriteSafety::CompareWithFile(const std::string& path) const { return CompareWithSettingsFile(form_, path); }

void WriteSafety::TakeIntoWindow(const Form& from, const std::vector<std::string>& controls) {
    CopyControls(from, form_, controls);
    ChangesUpdated();
}

void WriteSafety::Loaded(const std::string& path) {
    ReadBackupSection(form_, path, BackupKeys());  // a backup's own controls; nothing for other files
    if (loaded_) loaded_();
    ChangesUpdated();
}

bool WriteSafety::LoadBackup(const std::string& path) {
    (void)ReadSettingsFileForm(path);  // refuses a missing or foreign file before the window changes
    if (!LoadSettingsFile(form_, path)) return false;
    Loaded(path);
    return true;
}

}  // namespace quorvane
