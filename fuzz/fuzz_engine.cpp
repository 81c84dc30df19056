// The transaction engine's receive handler in every operation state.
//
// Input: a script of operations, each an op byte and its arguments: start handlers,
// received blocks (raw bytes, or a payload the harness frames with a valid CRC),
// time-out ticks, edits of the window's boxes, and blocks and ticks delivered while
// a message box is open (its nested event loop).
//
// Properties: received bytes are read only inside what was received (each block sits
// in a buffer of its exact size); no more frames are acted on than valid frames
// arrived; each frame acted on sends at most one request, and every request is a
// valid frame; only conversion errors leave a handler (the documented Write All
// case); an operation in progress always has a time-out running, and the engine is
// idle once the longest time-out has passed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/memory_form.h"
#include "seams/ui.h"
#include "model/window_model.h"
#include "blocks/convert.h"
#include "fuzz/engine_script.h"
#include "fuzz/frame_reference.h"
#include "fuzz/fuzz_input.h"
#include "link/engine.h"
#include "link/frame.h"
#include "link/maintenance.h"

using namespace quorvane;
using quorvane::fuzz::Input;
using namespace quorvane::fuzz;

namespace {

struct Nested {
    bool tick = false;
    std::vector<std::uint8_t> bytes;
};

class FuzzUi : public Ui {
public:
    std::function<void()> modal;  // runs inside every box, as its event loop would
    bool confirmAnswer = true;
    std::size_t connectedCount = 0;  // panel 0 set to "Connected": one per frame acted on

    void SetStatusText(int panel, std::string_view text) override {
        if (panel == 0 && text == "Connected") ++connectedCount;
        if (panel >= 0 && panel < 3) panels_[panel] = std::string(text);
    }
    std::string StatusText(int panel) const override {
        return panel >= 0 && panel < 3 ? panels_[panel] : std::string();
    }
    void Notice(std::string_view) override {
        if (modal) modal();
    }
    bool Confirm(std::string_view) override {
        if (modal) modal();
        return confirmAnswer;
    }
    void ShowError(std::string_view) override {}
    std::optional<std::string> ChooseOpenFile(std::string_view) override { return std::nullopt; }
    std::optional<std::string> ChooseSaveFile(std::string_view, std::string_view) override {
        return std::nullopt;
    }
    void SetWindowCaption(std::string_view) override {}
    void OpenUrl(std::string_view) override {}
    void CloseWindow() override {}
    void ScrollEventBox(int) override {}

private:
    std::string panels_[3];
};

using Handler = void (TransactionEngine::*)();
constexpr Handler kHandlers[] = {
    &TransactionEngine::SendConnectRequest, &TransactionEngine::ReadAllClick,
    &TransactionEngine::WriteAllClick,      &TransactionEngine::GPRSWriteClick,
    &TransactionEngine::MainSetWriteClick,  &TransactionEngine::InterfaceWriteClick,
    &TransactionEngine::Temp_WriteClick,    &TransactionEngine::SMSWriteClick,
    &TransactionEngine::GEOFenceWriteClick, &TransactionEngine::EventWriteClick,
    &TransactionEngine::GPRSReadClick,      &TransactionEngine::MainSetReadClick,
    &TransactionEngine::InterfaceReadClick, &TransactionEngine::Temp_ReadClick,
    &TransactionEngine::SMSReadClick,       &TransactionEngine::GEOFenceReadClick,
    &TransactionEngine::EventReadClick,     &TransactionEngine::InitAllClick,
    &TransactionEngine::ClearSMSClick,      &TransactionEngine::ClearGPRS1Click,
    &TransactionEngine::ClearGPRS2Click,    &TransactionEngine::ClearGPSLogClick,
    &TransactionEngine::SetMileageClick,    &TransactionEngine::SET_IDClick,
    &TransactionEngine::DEL_IDClick,        &TransactionEngine::CHK_IDClick,
    &TransactionEngine::Temp_PairClick,
};
constexpr std::size_t kHandlerCount = sizeof(kHandlers) / sizeof(kHandlers[0]);
static_assert(kHandlerCount == fuzz::HandlerCount, "handler table and script numbering disagree");

class Harness {
public:
    explicit Harness(MemoryForm& form)
        : form_(form),
          engine_(form, ui_, [this](const std::uint8_t* d, std::uint16_t n) { return Write(d, n); },
                  [this] { return settingsLoaded_; }) {
        ui_.modal = [this] { RunNested(); };
    }

    void Run(Input& in) {
        while (!in.Empty()) {
            Step(in);
            CheckState();
        }
        // Nothing more arrives: the longest time-out ends whatever is in progress.
        nested_.clear();
        for (int k = 0; k <= kRfidReplyTimeout; ++k) Guarded([this] { engine_.Timer2Timer(); }, false);
        QV_CHECK(engine_.State().OperationState == OperationState::OpIdle, "the engine never returned to idle");
        QV_CHECK(engine_.State().TimeoutCount == 0, "a time-out still runs after the longest one passed");
        QV_CHECK(ui_.connectedCount <= fuzz::CountFrameStarts(received_),
                 "more frames were acted on than valid frames arrived: " + std::to_string(ui_.connectedCount) +
                     " > " + std::to_string(fuzz::CountFrameStarts(received_)));
    }

private:
    void Step(Input& in) {
        switch (in.Byte() % OpCount) {
        case OpStart: {
            const Handler h = kHandlers[in.Byte() % kHandlerCount];
            Guarded([&] { (engine_.*h)(); }, true);
            break;
        }
        case OpRawBlock:
            Receive(in.Bytes(in.Word() % (kMaxReceiveBlock + 1)));
            break;
        case OpFramedAnswer: {
            const std::uint8_t command = in.Byte();
            const auto payload = in.Bytes(in.Word() % (kMaxPayloadLength + 1));
            const auto frame = MakeFrame(command, payload);
            // The port cuts what it receives into blocks of at most 2048 bytes.
            for (std::size_t at = 0; at < frame.size(); at += kMaxReceiveBlock)
                Receive({frame.begin() + static_cast<std::ptrdiff_t>(at),
                         frame.begin() + static_cast<std::ptrdiff_t>(std::min(frame.size(), at + kMaxReceiveBlock))});
            break;
        }
        case OpTick:
            Guarded([this] { engine_.Timer2Timer(); }, false);
            break;
        case OpSetText: {
            const auto& names = TextBoxes();
            const std::string& name = names[in.Word() % names.size()];
            form_.SetText(name, in.Text(in.Byte() % 48));
            break;
        }
        case OpSetIndex: {
            const auto& names = ComboBoxes();
            const std::string& name = names[in.Word() % names.size()];
            form_.SetItemIndex(name, static_cast<std::int8_t>(in.Byte()));
            break;
        }
        case OpNestedBlock:
            nested_.push_back({false, in.Bytes(in.Word() % (kMaxReceiveBlock + 1))});
            break;
        case OpNestedTick:
            nested_.push_back({true, {}});
            break;
        case OpWriterResult: writerAccepts_ = in.Flag(); break;
        case OpConfirmAnswer: ui_.confirmAnswer = in.Flag(); break;
        case OpDiscard: engine_.DiscardReceived(); break;
        case OpSettingsLoaded: settingsLoaded_ = in.Flag(); break;
        default: break;
        }
    }

    void Receive(const std::vector<std::uint8_t>& bytes) {
        // A block in a buffer of its exact size, as the port hands it over.
        std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + 1]);
        if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        const std::size_t dispatchedBefore = ui_.connectedCount;
        const std::size_t sentBefore = sent_;
        Guarded([&] { engine_.Comm1ReceiveData(exact.get(), static_cast<std::uint16_t>(bytes.size())); }, true);
        const std::size_t dispatched = ui_.connectedCount - dispatchedBefore;
        QV_CHECK(sent_ - sentBefore <= dispatched, "frames acted on sent more than one request each");
    }

    void RunNested() {
        if (nested_.empty()) return;
        Nested n = std::move(nested_.front());
        nested_.pop_front();
        if (n.tick) {
            engine_.Timer2Timer();
        } else {
            Receive(n.bytes);
        }
    }

    bool Write(const std::uint8_t* data, std::uint16_t count) {
        QV_CHECK(data != nullptr && count >= 7, "a request shorter than a frame");
        QV_CHECK(fuzz::IsValidFrame({data, count}), "a request that is not a valid frame");
        ++sent_;
        return writerAccepts_;
    }

    // Runs a handler as the window does; only the documented errors may leave it.
    template <typename F>
    void Guarded(F&& work, bool conversionAllowed) {
        try {
            work();
        } catch (const EConvertError&) {
            if (!conversionAllowed) fuzz::Fail("a conversion error left a handler that converts nothing");
        } catch (const ERfidListTooLong&) {
        } catch (const std::exception& e) {
            fuzz::Fail("an unexpected exception left a handler", e.what());
        } catch (...) {
            fuzz::Fail("a non-standard exception left a handler");
        }
    }

    void CheckState() {
        const EngineState& s = engine_.State();
        if (s.OperationState != OperationState::OpIdle)
            QV_CHECK(s.TimeoutCount > 0, "an operation is in progress with no time-out running: state " +
                                             std::to_string(static_cast<int>(s.OperationState)));
    }

    MemoryForm& form_;
    FuzzUi ui_;
    TransactionEngine engine_;
    bool settingsLoaded_ = false;
    bool writerAccepts_ = true;
    std::deque<Nested> nested_;
    std::vector<std::uint8_t> received_;
    std::size_t sent_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryForm form;
    form.Reset();
    Input in(data, size);
    Harness harness(form);
    harness.Run(in);
    return 0;
}
