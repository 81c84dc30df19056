// The transaction engine: the editor is the only master on the line. It sends one
// request, waits for its answer, and drives the multi-block operations ("Read All",
// "Write All", the Main group's two blocks) as a state machine that advances on
// each answer. Missing answers are reported by the one-second time-out tick.
//
// Everything runs on the window's thread. A message box may run a nested event loop
// in which timer ticks and received blocks are handled; the engine keeps each frame
// it acts on in its own copy, so a nested block cannot change it underneath.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "seams/form.h"
#include "seams/ui.h"
#include "blocks/memory_map.h"
#include "blocks/payload.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/frame_assembler.h"
#include "link/groups.h"

namespace quorvane {

class TrafficRecorder;

// Which operation awaits an answer. Unscoped, so both OpRead and
// OperationState::OpRead name a value.
enum OperationState : std::uint8_t {
    OpIdle = 0,
    OpWrite = 1,
    OpRead = 2,
    OpDefault = 3,
    OpClearSms = 4,
    OpClearGprs1 = 5,
    OpClearGprs2 = 6,
    OpClearGpsLog = 7,
    OpSetMileage = 8,
    OpAuthorizeId = 9,
    OpDeleteId = 10,
    OpCheckId = 11,
    OpTemperaturePair = 12,
};

// Block steps 0-7 (GPRS, Main, Main extension, Interface, Temperature, SMS,
// GEO-fence, Event) and the automatic Device ID read.
inline constexpr std::uint8_t kBlockSteps = 8;
inline constexpr std::uint8_t ReadStepDeviceId = 30;

// Reply time-outs in one-second ticks, and the connect poll's reload in 10 ms ticks.
inline constexpr std::uint8_t kReplyTimeout = 5;
inline constexpr std::uint8_t kRfidReplyTimeout = 10;
inline constexpr std::uint8_t kConnectPollReload = 50;

struct EngineState {
    quorvane::OperationState OperationState = quorvane::OperationState::OpIdle;
    std::uint8_t WriteStep = 0;     // during OpWrite: the block write sent last
    std::uint8_t ReadStep = 0;      // during OpRead: the block read sent last, or ReadStepDeviceId
    std::uint8_t TimeoutCount = 0;  // seconds left for the awaited answer; 0 = none awaited
    bool WriteAllActive = false;
    bool ReadAllActive = false;
    bool DeviceIdPending = false;   // the automatic Device ID read; its time-out is silent
    std::uint8_t ConnectPollCount = 0;  // 10 ms ticks until the connect request; 0 = poll stopped
};

class TransactionEngine {
public:
    // `write` hands frames to the port; `settingsLoaded` tells whether a settings
    // file has been loaded (the device information decoder consults it).
    TransactionEngine(Form& form, Ui& ui, FrameWriter write, std::function<bool()> settingsLoaded);
    TransactionEngine(const TransactionEngine&) = delete;
    TransactionEngine& operator=(const TransactionEngine&) = delete;

    const EngineState& State() const { return state_; }
    // True once the tracker's first frame has arrived (panel 0 shows "Connected").
    bool AnswerSeen() const { return answerSeen_; }

    // The connect poll: the window's 10 ms timer counts this down.
    void SetConnectPollCount(std::uint8_t count) { state_.ConnectPollCount = count; }
    // Sends the connect request with the authorization code and abandons whatever
    // was awaited (idle, no time-out). Throws EConvertError for an AuthCode that is
    // not an integer; nothing is sent then.
    void SendConnectRequest();

    // Block reads and writes. Each builds its payload (an encoder may throw
    // EConvertError, and then nothing is sent and nothing changes), sends it, sets
    // the state and time-out and shows its start text. A write encodes every block
    // it will send before the first.
    void ReadAllClick();
    void WriteAllClick();
    void GPRSWriteClick();
    void MainSetWriteClick();
    void InterfaceWriteClick();
    void Temp_WriteClick();
    void SMSWriteClick();
    void GEOFenceWriteClick();
    void EventWriteClick();
    void GPRSReadClick();
    void MainSetReadClick();
    void InterfaceReadClick();
    void Temp_ReadClick();
    void SMSReadClick();
    void GEOFenceReadClick();
    void EventReadClick();

    // Maintenance commands (maintenance.cpp).
    void InitAllClick();
    void ClearSMSClick();
    void ClearGPRS1Click();
    void ClearGPRS2Click();
    void ClearGPSLogClick();
    void SetMileageClick();
    void SET_IDClick();
    void DEL_IDClick();
    void CHK_IDClick();
    void Temp_PairClick();

    // A block of received bytes, in arrival order. Frames are reassembled across
    // blocks and each complete valid frame is acted on once. An error raised while
    // acting on a frame (an encoder in a "Write All" chain) is rethrown after the
    // rest of the received bytes have been handled.
    void Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length);

    // The one-second tick: counts the reply time-out down and reports a missing answer.
    void Timer2Timer();

    // Forgets received bytes not yet acted on (the port was closed).
    void DiscardReceived();

    // Drops whatever was awaited without a report: idle, no time-out, no chain, no
    // connect poll (the port is gone, so no "Overtime!" can follow).
    void AbandonOperation();

    // Frames sent, frames found, CRC errors and stray runs go to `recorder` while it
    // is enabled; nullptr records nothing.
    void SetTraffic(TrafficRecorder* recorder);
    // Called after a group's or all groups' read or write has completed, once its
    // completion box is closed and the engine is idle: the blocks it covered. Not
    // called for errors, time-outs or the automatic Device ID read.
    using CompletionHook = std::function<void(bool write, const std::vector<BlockId>& blocks)>;
    void SetCompletionHook(CompletionHook hook) { completed_ = std::move(hook); }

    // Called when a group's or all groups' read or write has completed, before its
    // completion box: the blocks it covered, their values in the window now.
    void SetArrivedHook(CompletionHook hook) { arrived_ = std::move(hook); }

    // Called once for every operation that ends, however it ended, after its texts
    // have been shown. A hook may add or remove hooks. Returns an id for RemoveResultHook.
    using ResultHook = std::function<void(const OperationResult&)>;
    int AddResultHook(ResultHook hook);
    void RemoveResultHook(int id);
    // Called as each block of a read or write is acknowledged: blocks done so far of
    // the operation's total (8 for Read All and Write All).
    using ProgressHook = std::function<void(int done, int total)>;
    void SetProgressHook(ProgressHook hook) { progress_ = std::move(hook); }

    const TxPayload& Payload() const { return tx_; }
    const FrameAssembler& Receiver() const { return rx_; }
    // Length field of the last frame acted on.
    std::uint16_t LastFrameLength() const { return rx_.LastFrameLength(); }

private:
    void Send(std::uint8_t command);
    void StartRead(const Group& group, bool readAll);
    void StartWrite(const Group& group, bool writeAll);
    void StartMaintenance(std::uint8_t command, quorvane::OperationState state, Operation op,
                          std::uint8_t timeout, std::string_view text);
    void SendReadStep(std::uint8_t step);
    void SendWriteStep(std::uint8_t step);

    void Dispatch(const FrameView& frame);
    void OnConnectAnswer(const FrameView& frame);
    void OnWriteAnswer(const FrameView& frame);
    void OnReadAnswer(const FrameView& frame);
    void OnDeviceIdAnswer(const FrameView& frame);
    void ReadError(Outcome outcome);
    void Finish(bool write, std::uint8_t step);

    // maintenance.cpp
    void OnMaintenanceAnswer(const FrameView& frame);
    void FinishMaintenance(Outcome outcome, std::string_view panelText, std::string_view notice);
    bool TemperatureDeleting() const;

    std::optional<OperationResult> ReportTimeout(quorvane::OperationState state);
    void Completed(bool write, std::uint8_t step, bool all) const;

    // The operation under way, for its result.
    void Begin(Operation op, const Group* group);
    // The result of the operation under way, taken before its texts are shown (a box
    // may start another operation); nullopt when none is under way.
    std::optional<OperationResult> End(Outcome outcome, std::string_view text);
    void Report(const std::optional<OperationResult>& result);
    void BlockDone();

    Form& form_;
    Ui& ui_;
    FrameWriter write_;
    std::function<bool()> settingsLoaded_;
    EngineState state_;
    bool answerSeen_ = false;

    TrafficRecorder* traffic_ = nullptr;
    TxPayload tx_;
    FrameBuffer frame_{};
    FrameAssembler rx_;
    // Received bytes not yet moved into the assembler.
    std::vector<std::uint8_t> inbox_;
    std::size_t inboxRead_ = 0;
    // The start-up text restarted the poll while a frame was still incomplete: the
    // text may lie inside that frame. Should the frame complete after all, the poll
    // goes back to what it was, as for the text inside any valid frame.
    bool pollRestartedInFrame_ = false;
    std::uint8_t pollBeforeText_ = 0;
    CompletionHook completed_;
    CompletionHook arrived_;
    std::vector<std::pair<int, ResultHook>> resultHooks_;
    ProgressHook progress_;
    int nextResultHook_ = 1;
    bool underWay_ = false;
    Operation operation_ = Operation::Connect;
    const Group* group_ = nullptr;
    int blocksDone_ = 0;
    bool authRefused_ = false;  // the connect answer refused the authorization code
    // A connect answer has been taken since the last connect request was sent.
    bool connectAnswered_ = false;
};

}  // namespace quorvane
