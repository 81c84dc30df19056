#include "link/engine.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "blocks/blocks.h"
#include "link/maintenance.h"
#include "link/traffic.h"

namespace quorvane {

namespace {

// Block steps number the blocks in the order "Read All" goes through them;
// WriteStep and ReadStep share the numbering.
BlockId StepBlock(std::uint8_t step) { return AllGroups().blocks[step]; }

std::uint8_t StepOf(BlockId block) {
    const auto blocks = AllGroups().blocks;
    return static_cast<std::uint8_t>(std::find(blocks.begin(), blocks.end(), block) - blocks.begin());
}

// GEO and Event show their OK text before decoding.
bool TextBeforeDecode(BlockId block) { return block == BlockId::GeoFence || block == BlockId::Event; }

bool LastOfGroup(BlockId block) { return GroupOf(block).blocks.back() == block; }

bool IsDigit(std::uint8_t b) { return b >= '0' && b <= '9'; }

}  // namespace

TransactionEngine::TransactionEngine(Form& form, Ui& ui, FrameWriter write,
                                     std::function<bool()> settingsLoaded)
    : form_(form), ui_(ui), write_(std::move(write)), settingsLoaded_(std::move(settingsLoaded)) {}

// --- sending -------------------------------------------------------------------

void TransactionEngine::Send(std::uint8_t command) {
    // Whatever was received before this request cannot be its answer.
    DiscardReceived();
    if (traffic_ == nullptr || !traffic_->Enabled()) {
        SendCommand(tx_, command, frame_, write_);
        return;
    }
    SendCommand(tx_, command, frame_, [this](const std::uint8_t* data, std::uint16_t count) {
        const bool taken = write_(data, count);
        traffic_->RecordFrame(TrafficDirection::Sent, {data, count}, !taken);
        return taken;
    });
}

void TransactionEngine::SetTraffic(TrafficRecorder* recorder) {
    traffic_ = recorder;
    rx_.SetTraffic(recorder);
}

void TransactionEngine::AbandonOperation() {
    const auto abandoned = End(Outcome::Abandoned, "");
    state_.OperationState = OperationState::OpIdle;
    state_.TimeoutCount = 0;
    state_.WriteAllActive = false;
    state_.ReadAllActive = false;
    state_.DeviceIdPending = false;
    state_.ConnectPollCount = 0;
    Report(abandoned);
}

void TransactionEngine::SendConnectRequest() {
    BuildAuthCodePayload(form_, tx_);
    Send(CmdConnect);
    connectAnswered_ = false;
    const auto restarted = End(Outcome::Restarted, "");
    state_.OperationState = OperationState::OpIdle;
    state_.TimeoutCount = 0;
    state_.DeviceIdPending = false;
    Report(restarted);
}

void TransactionEngine::SendReadStep(std::uint8_t step) {
    BuildReadRequest(StepBlock(step), tx_);
    Send(CmdReadBlock);
    state_.ReadStep = step;
    state_.TimeoutCount = kReplyTimeout;
}

void TransactionEngine::SendWriteStep(std::uint8_t step) {
    EncoderOf(StepBlock(step))(form_, tx_);
    Send(CmdWriteBlock);
    state_.WriteStep = step;
    state_.TimeoutCount = kReplyTimeout;
}

// A new start abandons whatever was awaited, the automatic Device ID read
// included: its silent time-out must not swallow the new operation's report.
void TransactionEngine::StartRead(const Group& group, bool readAll) {
    const std::uint8_t step = StepOf(group.blocks.front());
    BuildReadRequest(StepBlock(step), tx_);
    Send(CmdReadBlock);
    Begin(readAll ? Operation::ReadAll : Operation::ReadGroup, &group);
    state_.OperationState = OperationState::OpRead;
    state_.ReadStep = step;
    state_.TimeoutCount = kReplyTimeout;
    state_.ReadAllActive = readAll;
    state_.DeviceIdPending = false;
    ui_.SetStatusText(1, group.reading);
}

void TransactionEngine::StartWrite(const Group& group, bool writeAll) {
    EncodeEveryBlock(form_, group);
    const std::uint8_t step = StepOf(group.blocks.front());
    EncoderOf(StepBlock(step))(form_, tx_);
    Send(CmdWriteBlock);
    Begin(writeAll ? Operation::WriteAll : Operation::WriteGroup, &group);
    state_.OperationState = OperationState::OpWrite;
    state_.WriteStep = step;
    state_.TimeoutCount = kReplyTimeout;
    state_.WriteAllActive = writeAll;
    state_.DeviceIdPending = false;
    ui_.SetStatusText(1, group.writing);
}

void TransactionEngine::StartMaintenance(std::uint8_t command, OperationState state, Operation op,
                                         std::uint8_t timeout, std::string_view text) {
    Send(command);
    Begin(op, nullptr);
    state_.OperationState = state;
    state_.TimeoutCount = timeout;
    state_.DeviceIdPending = false;
    ui_.SetStatusText(1, text);
}

void TransactionEngine::ReadAllClick() { StartRead(AllGroups(), true); }
void TransactionEngine::WriteAllClick() { StartWrite(AllGroups(), true); }

void TransactionEngine::GPRSWriteClick() { StartWrite(GroupOf(BlockId::Gprs), false); }
void TransactionEngine::MainSetWriteClick() { StartWrite(GroupOf(BlockId::Main), false); }
void TransactionEngine::InterfaceWriteClick() { StartWrite(GroupOf(BlockId::Interface), false); }
void TransactionEngine::Temp_WriteClick() { StartWrite(GroupOf(BlockId::Temperature), false); }
void TransactionEngine::SMSWriteClick() { StartWrite(GroupOf(BlockId::Sms), false); }
void TransactionEngine::GEOFenceWriteClick() { StartWrite(GroupOf(BlockId::GeoFence), false); }
void TransactionEngine::EventWriteClick() { StartWrite(GroupOf(BlockId::Event), false); }

void TransactionEngine::GPRSReadClick() { StartRead(GroupOf(BlockId::Gprs), false); }
void TransactionEngine::MainSetReadClick() { StartRead(GroupOf(BlockId::Main), false); }
void TransactionEngine::InterfaceReadClick() { StartRead(GroupOf(BlockId::Interface), false); }
void TransactionEngine::Temp_ReadClick() { StartRead(GroupOf(BlockId::Temperature), false); }
void TransactionEngine::SMSReadClick() { StartRead(GroupOf(BlockId::Sms), false); }
void TransactionEngine::GEOFenceReadClick() { StartRead(GroupOf(BlockId::GeoFence), false); }
void TransactionEngine::EventReadClick() { StartRead(GroupOf(BlockId::Event), false); }

// --- results -------------------------------------------------------------------

void TransactionEngine::Begin(Operation op, const Group* group) {
    underWay_ = true;
    operation_ = op;
    group_ = group;
    blocksDone_ = 0;
}

std::optional<OperationResult> TransactionEngine::End(Outcome outcome, std::string_view text) {
    if (!underWay_) return std::nullopt;
    underWay_ = false;
    OperationResult result;
    result.op = operation_;
    result.group = group_;
    result.outcome = outcome;
    result.blocksDone = blocksDone_;
    result.blocksTotal = group_ != nullptr ? static_cast<int>(group_->blocks.size()) : 0;
    result.text = std::string(text);
    return result;
}

void TransactionEngine::Report(const std::optional<OperationResult>& result) {
    if (!result || resultHooks_.empty()) return;
    const auto hooks = resultHooks_;
    for (const auto& [id, hook] : hooks) {
        if (hook) hook(*result);
    }
}

void TransactionEngine::BlockDone() {
    ++blocksDone_;
    if (progress_ && group_ != nullptr) progress_(blocksDone_, static_cast<int>(group_->blocks.size()));
}

int TransactionEngine::AddResultHook(ResultHook hook) {
    const int id = nextResultHook_++;
    resultHooks_.emplace_back(id, std::move(hook));
    return id;
}

void TransactionEngine::RemoveResultHook(int id) {
    std::erase_if(resultHooks_, [id](const auto& entry) { return entry.first == id; });
}

// --- receiving -----------------------------------------------------------------

void TransactionEngine::DiscardReceived() {
    rx_.Clear();
    pollRestartedInFrame_ = false;
    inbox_.clear();
    inboxRead_ = 0;
}

void TransactionEngine::Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length) {
    if (buffer != nullptr && length > 0) {
        rx_.NoteBlock(std::span(buffer, length));
        inbox_.insert(inbox_.end(), buffer, buffer + length);
    }

    // A handler may show a box whose event loop delivers further blocks: they join
    // the inbox behind these bytes and are handled in order by whichever call runs.
    std::exception_ptr error;
    for (;;) {
        inboxRead_ += rx_.Append(std::span(inbox_).subspan(inboxRead_));
        if (inboxRead_ == inbox_.size()) {
            inbox_.clear();
            inboxRead_ = 0;
        }
        auto frame = rx_.NextFrame();
        if (!frame) {
            if (inbox_.empty()) {
                rx_.FlushTraffic();
                break;
            }
            continue;
        }
        if (pollRestartedInFrame_) {
            pollRestartedInFrame_ = false;
            state_.ConnectPollCount = pollBeforeText_;
        }
        try {
            Dispatch(FrameView(*frame));
        } catch (...) {
            if (!error) error = std::current_exception();
        }
    }
    // The tracker's start-up text in a block that gave no frame: it has rebooted and
    // waits for a new connect request.
    if (rx_.TakeModelSeen()) {
        if (!pollRestartedInFrame_) pollBeforeText_ = state_.ConnectPollCount;
        pollRestartedInFrame_ = !rx_.Pending().empty();
        state_.ConnectPollCount = kConnectPollReload;
    }
    if (error) std::rethrow_exception(error);
}

void TransactionEngine::Dispatch(const FrameView& frame) {
    answerSeen_ = true;
    ui_.SetStatusText(0, "Connected");
    // The tracker answers every connect request the poll sent. Once one answer has been
    // taken, the others answer requests already served: not heard, whatever is awaited.
    if (frame.Command() == CmdConnect && connectAnswered_) return;
    switch (state_.OperationState) {
    case OperationState::OpIdle:
        if (frame.Command() == CmdConnect) OnConnectAnswer(frame);
        break;
    case OperationState::OpWrite:
        OnWriteAnswer(frame);
        break;
    case OperationState::OpRead:
        OnReadAnswer(frame);
        break;
    default:
        OnMaintenanceAnswer(frame);
        break;
    }
}

void TransactionEngine::OnConnectAnswer(const FrameView& frame) {
    // Without its authorization result the frame is no connect answer.
    const auto result = frame.ConnectResult();
    if (!result) return;

    state_.ConnectPollCount = 0;
    connectAnswered_ = true;
    Begin(Operation::Connect, nullptr);
    authRefused_ = *result == 0;
    if (authRefused_) {
        state_.TimeoutCount = 0;
        state_.OperationState = OperationState::OpIdle;
        ui_.Notice("Auth Code Error!");
    }
    DecodeDeviceInfo(form_, frame.DeviceInfo(), settingsLoaded_ && settingsLoaded_());

    BuildReadRequest(BlockId::DeviceId, tx_);
    Send(CmdReadBlock);
    state_.OperationState = OperationState::OpRead;
    state_.ReadStep = ReadStepDeviceId;
    state_.TimeoutCount = kReplyTimeout;
    state_.ReadAllActive = false;
    state_.DeviceIdPending = true;
}

void TransactionEngine::OnWriteAnswer(const FrameView& frame) {
    if (frame.Command() != CmdWriteBlock) {
        const auto result = End(Outcome::AnswerError, "Write Error!");
        state_.TimeoutCount = 0;
        state_.WriteAllActive = false;
        ui_.SetStatusText(1, "Write Error!");
        ui_.Notice("Write Error!");
        state_.OperationState = OperationState::OpIdle;
        Report(result);
        return;
    }
    const std::uint8_t step = state_.WriteStep;
    if (step >= kBlockSteps || !frame.WriteStatus()) return;
    const BlockId block = StepBlock(step);
    if (*frame.Area() != Block(block).area || *frame.WriteStatus() != 1) return;
    BlockDone();

    // A group of several blocks is always written whole.
    if (!LastOfGroup(block)) {
        SendWriteStep(static_cast<std::uint8_t>(step + 1));
        return;
    }
    ui_.SetStatusText(1, GroupOf(block).writeOk);
    if (state_.WriteAllActive && step + 1 < kBlockSteps) {
        SendWriteStep(static_cast<std::uint8_t>(step + 1));
        return;
    }
    Finish(true, step);
}

void TransactionEngine::Finish(bool write, std::uint8_t step) {
    state_.TimeoutCount = 0;
    bool& active = write ? state_.WriteAllActive : state_.ReadAllActive;
    const bool all = active;
    const Group& group = all ? AllGroups() : GroupOf(StepBlock(step));
    const char* text = write ? group.writeCompleted : group.readCompleted;
    const auto result = End(Outcome::Completed, text);
    if (all) {
        active = false;
        ui_.SetStatusText(1, write ? group.writeOk : group.readOk);
    }
    if (arrived_) arrived_(write, std::vector<BlockId>(group.blocks.begin(), group.blocks.end()));
    ui_.Notice(text);
    state_.OperationState = OperationState::OpIdle;
    Report(result);
    Completed(write, step, all);
}

void TransactionEngine::Completed(bool write, std::uint8_t step, bool all) const {
    if (!completed_ || state_.OperationState != OperationState::OpIdle) return;
    const Group& group = all ? AllGroups() : GroupOf(StepBlock(step));
    completed_(write, std::vector<BlockId>(group.blocks.begin(), group.blocks.end()));
}

void TransactionEngine::ReadError(Outcome outcome) {
    const auto result = End(outcome, "Read Error!");
    state_.ReadAllActive = false;
    state_.DeviceIdPending = false;
    state_.TimeoutCount = 0;
    ui_.SetStatusText(1, "Read Error!");
    ui_.Notice("Read Error!");
    state_.OperationState = OperationState::OpIdle;
    Report(result);
}

void TransactionEngine::OnReadAnswer(const FrameView& frame) {
    if (frame.Command() != CmdReadBlock) {
        ReadError(Outcome::AnswerError);
        return;
    }
    const std::uint8_t step = state_.ReadStep;

    // Only the answer to the request sent: any other (a repeat of an earlier answer,
    // one for another offset or length) is set aside and the time-out keeps running.
    if (step == ReadStepDeviceId) {
        if (AnswersRead(frame, Block(BlockId::DeviceId))) OnDeviceIdAnswer(frame);
        return;
    }
    if (step >= kBlockSteps) return;
    const BlockId block = StepBlock(step);
    if (!AnswersRead(frame, Block(block))) return;

    const std::span<const std::uint8_t> answer = frame.WithoutCrc();
    const Group& group = GroupOf(block);
    const bool last = LastOfGroup(block);
    if (TextBeforeDecode(block)) ui_.SetStatusText(1, group.readOk);
    DecoderOf(block)(form_, answer, FrameView::kBlockOffsetAt);
    if (!TextBeforeDecode(block) && last) ui_.SetStatusText(1, group.readOk);
    BlockDone();

    if (!last || (state_.ReadAllActive && step + 1 < kBlockSteps)) {
        SendReadStep(static_cast<std::uint8_t>(step + 1));
        return;
    }
    Finish(false, step);
}

// The Device ID: the leading digits of the data, at most as many as the answer's
// length field gives and never beyond the answer's payload.
void TransactionEngine::OnDeviceIdAnswer(const FrameView& frame) {
    std::string digits;
    if (const auto claimed = frame.BlockLength()) {
        const std::span<const std::uint8_t> data = frame.BlockData();
        for (std::size_t k = 0; k < *claimed && k < data.size() && IsDigit(data[k]); ++k) {
            digits.push_back(static_cast<char>(data[k]));
        }
    }
    const auto result =
        authRefused_ ? End(Outcome::Refused, "Auth Code Error!") : End(Outcome::Completed, "");
    form_.SetText("DeviceID", digits);
    state_.TimeoutCount = 0;
    state_.OperationState = OperationState::OpIdle;
    state_.DeviceIdPending = false;
    Report(result);
}

// --- time-out ------------------------------------------------------------------

void TransactionEngine::Timer2Timer() {
    if (state_.TimeoutCount == 0) return;
    if (--state_.TimeoutCount > 0) return;
    // What an unfinished frame had gathered can no longer be the awaited answer.
    rx_.Clear();
    pollRestartedInFrame_ = false;
    std::optional<OperationResult> result;
    if (state_.DeviceIdPending) {
        result = End(Outcome::TimedOut, "");
    } else {
        result = ReportTimeout(state_.OperationState);
    }
    state_.OperationState = OperationState::OpIdle;
    state_.WriteAllActive = false;
    state_.ReadAllActive = false;
    state_.DeviceIdPending = false;
    Report(result);
}

// Shows the time-out's texts; gives the operation's result.
std::optional<OperationResult> TransactionEngine::ReportTimeout(OperationState state) {
    const char* panel = nullptr;
    const char* notice = nullptr;
    switch (state) {
    case OperationState::OpIdle: return End(Outcome::TimedOut, "");
    case OperationState::OpWrite: panel = "Write Error"; notice = "Write Overtime!"; break;
    case OperationState::OpRead: panel = "Read Error"; notice = "Read Overtime!"; break;
    case OperationState::OpDefault: panel = "Default Error"; notice = "Default Overtime!"; break;
    case OperationState::OpClearSms:
        panel = "Clear SMS Buffer Error"; notice = "Clear SMS Buffer Overtime!"; break;
    case OperationState::OpClearGprs1:
        panel = "Clear GPRS-1 Buffer Error"; notice = "Clear GPRS-1 Buffer Overtime!"; break;
    case OperationState::OpClearGprs2:
        panel = "Clear GPRS-2 Buffer Error"; notice = "Clear GPRS-2 Buffer Overtime!"; break;
    case OperationState::OpClearGpsLog:
        panel = "Clear GPS Log Error"; notice = "Clear GPS Log Overtime!"; break;
    case OperationState::OpSetMileage: panel = "Set Mileage Error"; notice = "Set Mileage Overtime!"; break;
    case OperationState::OpAuthorizeId: panel = "Auth ID Error"; notice = "Auth ID Overtime!"; break;
    case OperationState::OpDeleteId: panel = "Delete ID Error"; notice = "Delete ID Overtime!"; break;
    case OperationState::OpCheckId: panel = "Check ID Error"; notice = "Check ID Overtime!"; break;
    case OperationState::OpTemperaturePair:
        if (TemperatureDeleting()) {
            panel = "Temperature Deleting Error";
            notice = "Temperature Deleting Overtime!";
        } else {
            panel = "Temperature Pairing Error";
            notice = "Temperature Pairing Overtime!";
        }
        break;
    }
    auto result = End(Outcome::TimedOut, notice);
    ui_.SetStatusText(1, panel);
    ui_.Notice(notice);
    return result;
}

}  // namespace quorvane
