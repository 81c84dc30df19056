#include "link/maintenance.h"

#include <cstdint>
#include <string>

#include "blocks/convert.h"
#include "link/engine.h"

namespace quorvane {

namespace {

constexpr std::size_t kTemperatureNameLength = 16;

}  // namespace

// --- payloads --------------------------------------------------------------------

void BuildAuthCodePayload(const Form& form, TxPayload& tx) {
    const std::string text = form.Text("AuthCode");
    const std::int32_t code = text.empty() ? -1 : ConvertBox("AuthCode", [&] { return StrToInt(text); });
    tx.Clear();
    tx.Append(0x01);
    AppendLong(tx, static_cast<std::uint32_t>(code));
}

void BuildMileagePayload(const Form& form, TxPayload& tx) {
    const std::int32_t mileage = ConvertBox("Mileage", [&] { return StrToInt(form.Text("Mileage")); });
    tx.Clear();
    AppendLong(tx, static_cast<std::uint32_t>(mileage));
}

void BuildRfidPayload(const Form& form, TxPayload& tx) {
    const std::string text = form.Text("RFID_Memo");
    if (text.size() > kMaxPayloadLength) {
        throw ERfidListTooLong("The RFID ID list is too long to send: " + std::to_string(text.size()) +
                               " characters, at most " + std::to_string(kMaxPayloadLength) +
                               " fit in one frame");
    }
    tx.Clear();
    for (char c : text) tx.Append(static_cast<std::uint8_t>(c));
}

void BuildTemperaturePairPayload(const std::string& index, const std::string& name, TxPayload& tx) {
    tx.Clear();
    if (index.empty()) return;
    tx.Append(static_cast<std::uint8_t>(index[0]));
    if (name.empty()) return;
    tx.Append(static_cast<std::uint8_t>(','));
    for (char c : name.substr(0, kTemperatureNameLength)) tx.Append(static_cast<std::uint8_t>(c));
}

// --- start handlers ----------------------------------------------------------------

void TransactionEngine::InitAllClick() {
    tx_.Clear();
    StartMaintenance(CmdDefault, OperationState::OpDefault, Operation::Default, kReplyTimeout, "Defaulting...");
}

void TransactionEngine::ClearSMSClick() {
    tx_.Clear();
    StartMaintenance(CmdClearSms, OperationState::OpClearSms, Operation::ClearSms, kReplyTimeout, "Clear SMS...");
}

void TransactionEngine::ClearGPRS1Click() {
    tx_.Clear();
    StartMaintenance(CmdClearGprs1, OperationState::OpClearGprs1, Operation::ClearGprs1, kReplyTimeout, "Clear GPRS-1...");
}

void TransactionEngine::ClearGPRS2Click() {
    tx_.Clear();
    StartMaintenance(CmdClearGprs2, OperationState::OpClearGprs2, Operation::ClearGprs2, kReplyTimeout, "Clear GPRS-2...");
}

void TransactionEngine::ClearGPSLogClick() {
    tx_.Clear();
    StartMaintenance(CmdClearGpsLog, OperationState::OpClearGpsLog, Operation::ClearGpsLog, kReplyTimeout, "Clear GPS Log...");
}

void TransactionEngine::SetMileageClick() {
    BuildMileagePayload(form_, tx_);
    StartMaintenance(CmdSetMileage, OperationState::OpSetMileage, Operation::SetMileage, kReplyTimeout, "Set Mileage...");
}

void TransactionEngine::SET_IDClick() {
    BuildRfidPayload(form_, tx_);
    StartMaintenance(CmdAuthorizeId, OperationState::OpAuthorizeId, Operation::AuthorizeId, kRfidReplyTimeout, "Auth ID...");
}

void TransactionEngine::DEL_IDClick() {
    BuildRfidPayload(form_, tx_);
    StartMaintenance(CmdDeleteId, OperationState::OpDeleteId, Operation::DeleteId, kRfidReplyTimeout, "Deleting ID...");
}

void TransactionEngine::CHK_IDClick() {
    BuildRfidPayload(form_, tx_);
    StartMaintenance(CmdCheckId, OperationState::OpCheckId, Operation::CheckId, kReplyTimeout, "Check ID...");
}

void TransactionEngine::Temp_PairClick() {
    const std::string index = form_.Text("Temp_Index");
    const std::string name = index.empty() ? std::string() : form_.Text("Temp_Name");
    if (index.empty()) {
        if (!ui_.Confirm("Really Delete All Temperatures?")) return;
    } else if (name.empty()) {
        if (!ui_.Confirm("Really Delete Temperature?")) return;
    }
    // Built only once the question is answered: the box's event loop may have used
    // the payload buffer for a connect request meanwhile.
    BuildTemperaturePairPayload(index, name, tx_);
    StartMaintenance(CmdTemperaturePair, OperationState::OpTemperaturePair, Operation::TemperaturePair, kReplyTimeout,
                     name.empty() ? "Temperature Deleting..." : "Temperature Pairing...");
}

// --- answers -----------------------------------------------------------------------

bool TransactionEngine::TemperatureDeleting() const {
    return form_.Text("Temp_Index").empty() || form_.Text("Temp_Name").empty();
}

void TransactionEngine::FinishMaintenance(Outcome outcome, std::string_view panelText, std::string_view notice) {
    const auto result = End(outcome, notice);
    state_.TimeoutCount = 0;
    ui_.SetStatusText(1, panelText);
    ui_.Notice(notice);
    state_.OperationState = OperationState::OpIdle;
    // The connect request that follows refreshes the device information.
    state_.ConnectPollCount = kConnectPollReload;
    Report(result);
}

void TransactionEngine::OnMaintenanceAnswer(const FrameView& frame) {
    const std::uint8_t command = frame.Command();
    const std::span<const std::uint8_t> payload = frame.Payload();
    // A status the answer does not carry counts as 0, which no command accepts as a
    // completion; where a command reports errors, such an answer is one.
    const std::uint8_t status = frame.Status().value_or(0);
    switch (state_.OperationState) {
    case OperationState::OpDefault:
        if (command == CmdDefault && status == 1) FinishMaintenance(Outcome::Completed, "Default OK", "Default Completed!");
        break;
    case OperationState::OpClearSms:
        if (command == CmdClearSms && status == 1)
            FinishMaintenance(Outcome::Completed, "Clear SMS Buffer OK", "Clear SMS Buffer Completed!");
        break;
    case OperationState::OpClearGprs1:
        if (command == CmdClearGprs1 && status == 1)
            FinishMaintenance(Outcome::Completed, "Clear GPRS-1 Buffer OK", "Clear GPRS-1 Buffer Completed!");
        break;
    case OperationState::OpClearGprs2:
        if (command == CmdClearGprs2 && status == 1)
            FinishMaintenance(Outcome::Completed, "Clear GPRS-2 Buffer OK", "Clear GPRS-2 Buffer Completed!");
        break;
    case OperationState::OpClearGpsLog:
        if (command == CmdClearGpsLog && status == 1)
            FinishMaintenance(Outcome::Completed, "Clear GPS Log OK", "Clear GPS Log Completed!");
        break;
    case OperationState::OpSetMileage:
        if (command == CmdSetMileage && status == 1) FinishMaintenance(Outcome::Completed, "Set Mileaga OK", "Set Mileaga Completed!");
        break;
    case OperationState::OpAuthorizeId:
        if (command != CmdAuthorizeId) break;
        if (status == 1) FinishMaintenance(Outcome::Completed, "Auth ID OK", "Auth ID Completed!");
        else if (status == 2) FinishMaintenance(Outcome::Refused, "Auth ID Error", "Auth ID Error!");
        else if (status == 4) FinishMaintenance(Outcome::Busy, "Under Authorization...", "Under Authorization...");
        break;
    case OperationState::OpDeleteId:
        if (command != CmdDeleteId) break;
        if (status == 1) FinishMaintenance(Outcome::Completed, "Delete ID OK", "Delete ID Completed!");
        else if (status == 2) FinishMaintenance(Outcome::Refused, "Delete ID Error", "Delete ID Error!");
        else if (status == 5) FinishMaintenance(Outcome::Busy, "Deleting ID...", "Deleting ID...");
        break;
    case OperationState::OpCheckId:
        if (command != CmdCheckId) break;
        // An answer without its status byte reports nothing: the list is kept.
        if (status == 2 || payload.empty()) {
            FinishMaintenance(Outcome::Refused, "Check ID Error", "Check ID Error!");
        } else {
            // The ID list is the whole payload, its status byte included.
            const auto result = End(Outcome::Completed, "Check ID Completed!");
            state_.TimeoutCount = 0;
            ui_.SetStatusText(1, "Check ID OK");
            form_.SetText("RFID_Memo", "");
            form_.SetText("RFID_Memo", std::string(payload.begin(), payload.end()));
            ui_.Notice("Check ID Completed!");
            state_.OperationState = OperationState::OpIdle;
            state_.ConnectPollCount = kConnectPollReload;
            Report(result);
        }
        break;
    case OperationState::OpTemperaturePair: {
        if (command != CmdTemperaturePair) break;
        state_.TimeoutCount = 0;
        state_.OperationState = OperationState::OpIdle;
        const std::string what = TemperatureDeleting() ? "Temperature Deleting" : "Temperature Pairing";
        const bool refused = status == 2 || payload.empty();
        const std::string notice = what + (refused ? " Error!" : " Completed!");
        const auto result = End(refused ? Outcome::Refused : Outcome::Completed, notice);
        ui_.SetStatusText(1, what + (refused ? " Error" : " OK"));
        ui_.Notice(notice);
        Report(result);
        break;
    }
    case OperationState::OpIdle:
    case OperationState::OpWrite:
    case OperationState::OpRead:
        break;
    }
}

}  // namespace quorvane
