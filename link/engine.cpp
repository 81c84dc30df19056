#include "link/engine.h"

#include <array>
#include <exception>
#include <string>
#include <utility>

#include "blocks/blocks.h"
#include "link/maintenance.h"
#include "link/traffic.h"

namespace quorvane {

namespace {

using Encoder = void (*)(const Form&, TxPayload&);
using Decoder = bool (*)(Form&, std::span<const std::uint8_t>, std::size_t);

// One row per block step; WriteStep and ReadStep share the numbering.
struct BlockStep {
    BlockId block;
    Encoder encode;
    Decoder decode;
    const char* name;        // in "Read GPRS OK"; none for the Main block, whose group ends with the extension
    bool textBeforeDecode;   // GEO and Event show their OK text before decoding
};

constexpr std::array<BlockStep, kBlockSteps> kSteps{{
    {BlockId::Gprs, EncodeGprsBlock, DecodeGprsBlock, "GPRS", false},
    {BlockId::Main, EncodeMainBlock, DecodeMainBlock, nullptr, false},
    {BlockId::MainExt, EncodeMainExtBlock, DecodeMainExtBlock, "Main", false},
    {BlockId::Interface, EncodeInterfaceBlock, DecodeInterfaceBlock, "Interface", false},
    {BlockId::Temperature, EncodeTemperatureBlock, DecodeTemperatureBlock, "Temperature", false},
    {BlockId::Sms, EncodeSmsBlock, DecodeSmsBlock, "Auth", false},
    {BlockId::GeoFence, EncodeGeoFenceBlock, DecodeGeoFenceBlock, "GEO", true},
    {BlockId::Event, EncodeEventBlock, DecodeEventBlock, "Event", true},
}};

constexpr std::uint8_t kMainStep = 1;
constexpr std::uint8_t kMainExtStep = 2;
constexpr std::uint8_t kEventStep = 7;

// Positions inside a frame: the command byte, the first payload byte, and the
// read answer's area-offset field that decoders are given.
constexpr std::size_t kCommandIndex = 4;
constexpr std::size_t kPayloadIndex = 5;
constexpr std::size_t kDecoderIndex = kCommandIndex + 2;
constexpr std::size_t kDeviceInfoIndex = kPayloadIndex + 5;

std::string Text(const char* a, const char* name, const char* b) {
    return std::string(a) + name + b;
}

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
    state_.OperationState = OperationState::OpIdle;
    state_.TimeoutCount = 0;
    state_.WriteAllActive = false;
    state_.ReadAllActive = false;
    state_.DeviceIdPending = false;
    state_.ConnectPollCount = 0;
}

void TransactionEngine::SendConnectRequest() {
    BuildAuthCodePayload(form_, tx_);
    Send(CmdConnect);
    state_.OperationState = OperationState::OpIdle;
    state_.TimeoutCount = 0;
    state_.DeviceIdPending = false;
}

void TransactionEngine::SendReadStep(std::uint8_t step) {
    BuildReadRequest(kSteps[step].block, tx_);
    Send(CmdReadBlock);
    state_.ReadStep = step;
    state_.TimeoutCount = kReplyTimeout;
}

void TransactionEngine::SendWriteStep(std::uint8_t step) {
    kSteps[step].encode(form_, tx_);
    Send(CmdWriteBlock);
    state_.WriteStep = step;
    state_.TimeoutCount = kReplyTimeout;
}

// A new start abandons whatever was awaited, the automatic Device ID read
// included: its silent time-out must not swallow the new operation's report.
void TransactionEngine::StartRead(std::uint8_t step, bool readAll, std::string_view text) {
    BuildReadRequest(kSteps[step].block, tx_);
    Send(CmdReadBlock);
    state_.OperationState = OperationState::OpRead;
    state_.ReadStep = step;
    state_.TimeoutCount = kReplyTimeout;
    state_.ReadAllActive = readAll;
    state_.DeviceIdPending = false;
    ui_.SetStatusText(1, text);
}

void TransactionEngine::StartWrite(std::uint8_t step, bool writeAll, std::string_view text) {
    kSteps[step].encode(form_, tx_);
    Send(CmdWriteBlock);
    state_.OperationState = OperationState::OpWrite;
    state_.WriteStep = step;
    state_.TimeoutCount = kReplyTimeout;
    state_.WriteAllActive = writeAll;
    state_.DeviceIdPending = false;
    ui_.SetStatusText(1, text);
}

void TransactionEngine::StartMaintenance(std::uint8_t command, OperationState state,
                                         std::uint8_t timeout, std::string_view text) {
    Send(command);
    state_.OperationState = state;
    state_.TimeoutCount = timeout;
    state_.DeviceIdPending = false;
    ui_.SetStatusText(1, text);
}

void TransactionEngine::ReadAllClick() { StartRead(0, true, "Reading All..."); }
void TransactionEngine::WriteAllClick() { StartWrite(0, true, "Writing All..."); }

void TransactionEngine::GPRSWriteClick() { StartWrite(0, false, "Writing GPRS..."); }
void TransactionEngine::MainSetWriteClick() { StartWrite(kMainStep, false, "Writing Main..."); }
void TransactionEngine::InterfaceWriteClick() { StartWrite(3, false, "Writing Interface..."); }
void TransactionEngine::Temp_WriteClick() { StartWrite(4, false, "Writing Temp..."); }
void TransactionEngine::SMSWriteClick() { StartWrite(5, false, "Writing Auth..."); }
void TransactionEngine::GEOFenceWriteClick() { StartWrite(6, false, "Writing GEO..."); }
void TransactionEngine::EventWriteClick() { StartWrite(kEventStep, false, "Writing Event..."); }

void TransactionEngine::GPRSReadClick() { StartRead(0, false, "Reading GPRS..."); }
void TransactionEngine::MainSetReadClick() { StartRead(kMainStep, false, "Reading Main..."); }
void TransactionEngine::InterfaceReadClick() { StartRead(3, false, "Reading Interface..."); }
void TransactionEngine::Temp_ReadClick() { StartRead(4, false, "Reading Temp..."); }
void TransactionEngine::SMSReadClick() { StartRead(5, false, "Reading Auth..."); }
void TransactionEngine::GEOFenceReadClick() { StartRead(6, false, "Reading GEO..."); }
void TransactionEngine::EventReadClick() { StartRead(kEventStep, false, "Reading Event..."); }

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
            Dispatch(*frame);
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

void TransactionEngine::Dispatch(const std::vector<std::uint8_t>& frame) {
    // The answer: header to the end of the payload, without the CRC.
    const std::span<const std::uint8_t> answer = std::span(frame).first(frame.size() - 2);
    const std::uint8_t command = answer[kCommandIndex];
    const std::span<const std::uint8_t> payload = answer.subspan(kPayloadIndex);

    answerSeen_ = true;
    ui_.SetStatusText(0, "Connected");
    switch (state_.OperationState) {
    case OperationState::OpIdle:
        if (command == CmdConnect) OnConnectAnswer(answer);
        break;
    case OperationState::OpWrite:
        OnWriteAnswer(command, payload);
        break;
    case OperationState::OpRead:
        OnReadAnswer(command, answer);
        break;
    default:
        OnMaintenanceAnswer(command, payload);
        break;
    }
}

void TransactionEngine::OnConnectAnswer(std::span<const std::uint8_t> answer) {
    const std::span<const std::uint8_t> payload = answer.subspan(kPayloadIndex);
    // Without its authorization result the frame is no connect answer.
    if (payload.size() < 2) return;

    state_.ConnectPollCount = 0;
    if (payload[1] == 0) {
        state_.TimeoutCount = 0;
        state_.OperationState = OperationState::OpIdle;
        ui_.Notice("Auth Code Error!");
    }
    DecodeDeviceInfo(form_, answer, kDeviceInfoIndex, settingsLoaded_ && settingsLoaded_());

    BuildReadRequest(BlockId::DeviceId, tx_);
    Send(CmdReadBlock);
    state_.OperationState = OperationState::OpRead;
    state_.ReadStep = ReadStepDeviceId;
    state_.TimeoutCount = kReplyTimeout;
    state_.ReadAllActive = false;
    state_.DeviceIdPending = true;
}

void TransactionEngine::EndWithNotice(std::string_view text) {
    state_.TimeoutCount = 0;
    ui_.Notice(text);
    state_.OperationState = OperationState::OpIdle;
}

void TransactionEngine::OnWriteAnswer(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (command != CmdWriteBlock) {
        state_.TimeoutCount = 0;
        state_.WriteAllActive = false;
        ui_.SetStatusText(1, "Write Error!");
        ui_.Notice("Write Error!");
        state_.OperationState = OperationState::OpIdle;
        return;
    }
    const std::uint8_t step = state_.WriteStep;
    if (step >= kBlockSteps || payload.size() < 2) return;
    const BlockStep& def = kSteps[step];
    if (payload[0] != Block(def.block).area || payload[1] != 1) return;

    // The Main group is always written as its two blocks.
    if (step == kMainStep) {
        SendWriteStep(kMainExtStep);
        return;
    }
    ui_.SetStatusText(1, Text("Write ", def.name, " OK"));
    if (step == kEventStep) {
        state_.TimeoutCount = 0;
        const bool all = state_.WriteAllActive;
        if (all) {
            state_.WriteAllActive = false;
            ui_.SetStatusText(1, "Write All OK");
            ui_.Notice("Write All Completed!");
        } else {
            ui_.Notice("Write Event Completed!");
        }
        state_.OperationState = OperationState::OpIdle;
        Completed(true, step, all);
        return;
    }
    if (state_.WriteAllActive) {
        SendWriteStep(static_cast<std::uint8_t>(step + 1));
    } else {
        EndWithNotice(Text("Write ", def.name, " Completed!"));
        Completed(true, step, false);
    }
}

void TransactionEngine::Completed(bool write, std::uint8_t step, bool all) const {
    if (!completed_ || state_.OperationState != OperationState::OpIdle) return;
    std::vector<BlockId> blocks;
    if (all) {
        for (const BlockStep& s : kSteps) blocks.push_back(s.block);
    } else if (step == kMainStep || step == kMainExtStep) {
        blocks = {BlockId::Main, BlockId::MainExt};
    } else {
        blocks = {kSteps[step].block};
    }
    completed_(write, blocks);
}

void TransactionEngine::ReadError() {
    state_.ReadAllActive = false;
    state_.DeviceIdPending = false;
    state_.TimeoutCount = 0;
    ui_.SetStatusText(1, "Read Error!");
    ui_.Notice("Read Error!");
    state_.OperationState = OperationState::OpIdle;
}

void TransactionEngine::OnReadAnswer(std::uint8_t command, std::span<const std::uint8_t> answer) {
    if (command != CmdReadBlock) {
        ReadError();
        return;
    }
    const std::span<const std::uint8_t> payload = answer.subspan(kPayloadIndex);
    if (payload.empty()) return;
    const std::uint8_t area = payload[0];
    const std::uint8_t step = state_.ReadStep;

    if (step == ReadStepDeviceId) {
        if (area == Block(BlockId::DeviceId).area) OnDeviceIdAnswer(payload);
        return;
    }
    if (step >= kBlockSteps) return;
    const BlockStep& def = kSteps[step];
    if (area != Block(def.block).area) return;

    // An answer too short for its block is a read error, found before any OK text.
    if (!AnswerHoldsBlock(def.block, answer, kDecoderIndex)) {
        ReadError();
        return;
    }
    if (def.textBeforeDecode) ui_.SetStatusText(1, Text("Read ", def.name, " OK"));
    def.decode(form_, answer, kDecoderIndex);
    if (!def.textBeforeDecode && def.name != nullptr) ui_.SetStatusText(1, Text("Read ", def.name, " OK"));

    if (step == kMainStep) {
        SendReadStep(kMainExtStep);
        return;
    }
    if (step == kEventStep) {
        state_.TimeoutCount = 0;
        const bool all = state_.ReadAllActive;
        if (all) {
            state_.ReadAllActive = false;
            ui_.SetStatusText(1, "Read All OK");
            ui_.Notice("Read All Completed!");
        } else {
            ui_.Notice("Read Event Completed!");
        }
        state_.OperationState = OperationState::OpIdle;
        Completed(false, step, all);
        return;
    }
    if (state_.ReadAllActive) {
        SendReadStep(static_cast<std::uint8_t>(step + 1));
    } else {
        EndWithNotice(Text("Read ", def.name, " Completed!"));
        Completed(false, step, false);
    }
}

// The Device ID: the leading digits of the data, at most as many as the answer's
// length field gives and never beyond the answer's payload.
void TransactionEngine::OnDeviceIdAnswer(std::span<const std::uint8_t> payload) {
    std::string digits;
    if (payload.size() >= kBlockHeaderLength) {
        const std::size_t claimed = static_cast<std::size_t>(payload[3] << 8 | payload[4]);
        const std::span<const std::uint8_t> data = payload.subspan(kBlockHeaderLength);
        for (std::size_t k = 0; k < claimed && k < data.size() && IsDigit(data[k]); ++k) {
            digits.push_back(static_cast<char>(data[k]));
        }
    }
    form_.SetText("DeviceID", digits);
    state_.TimeoutCount = 0;
    state_.OperationState = OperationState::OpIdle;
    state_.DeviceIdPending = false;
}

// --- time-out ------------------------------------------------------------------

void TransactionEngine::Timer2Timer() {
    if (state_.TimeoutCount == 0) return;
    if (--state_.TimeoutCount > 0) return;
    // What an unfinished frame had gathered can no longer be the awaited answer.
    rx_.Clear();
    pollRestartedInFrame_ = false;
    if (!state_.DeviceIdPending) ReportTimeout(state_.OperationState);
    state_.OperationState = OperationState::OpIdle;
    state_.WriteAllActive = false;
    state_.ReadAllActive = false;
    state_.DeviceIdPending = false;
}

void TransactionEngine::ReportTimeout(OperationState state) {
    const char* panel = nullptr;
    const char* notice = nullptr;
    switch (state) {
    case OperationState::OpIdle: return;
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
    if (panel == nullptr) return;
    ui_.SetStatusText(1, panel);
    ui_.Notice(notice);
}

}  // namespace quorvane
