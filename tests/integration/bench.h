// The editor's window logic, headless, connected over a pseudo-terminal to a
// simulated tracker. The test is the clock: it ticks Timer1 and Timer2 itself and
// drains the window's mailbox, waiting (boundedly) for the tracker's answers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "model/memory_form.h"
#include "model/window_model.h"
#include "link/engine.h"
#include "serial/comm.h"
#include "serial/mailbox.h"
#include "sim/pty_tracker.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/recording_ui.h"

namespace quorvane::integration {

using namespace std::chrono_literals;
using sim::Fault;
using sim::PtyTracker;
using sim::PtyTrackerOptions;
using test_support::RecordingUi;

// Every control's value: an edit's or memo's text, a check box's state, a combo
// box's selected index.
inline std::vector<std::string> Snapshot(const Form& form) {
    std::vector<std::string> values;
    for (const ControlDef& c : Controls()) {
        switch (c.kind) {
            case ControlKind::Edit:
            case ControlKind::Memo: values.push_back(c.name + "=" + form.Text(c.name)); break;
            case ControlKind::CheckBox: values.push_back(c.name + (form.Checked(c.name) ? "=1" : "=0")); break;
            case ControlKind::ComboBox:
                if (c.name != "ComboBox1") values.push_back(c.name + "#" + std::to_string(form.ItemIndex(c.name)));
                break;
            default: break;
        }
    }
    return values;
}

// One editor window connected to `tracker`.
class Editor {
public:
    explicit Editor(PtyTracker& tracker)
        : tracker(tracker), window(form, ui, mailbox, programDir.Path().string() + "/") {
        window.Watch().SetPortSource(
            std::make_shared<FunctionPortSource>([path = tracker.SlavePath()] { return BarePorts({path}); }));
        window.FormCreate();
        // Count the blocks the port delivers, then hand them on as before.
        auto deliver = window.Comm1().OnReceiveData;
        window.Comm1().OnReceiveData = [this, deliver](TComm& comm, const std::uint8_t* data, std::uint16_t n) {
            blocks.push_back(n);
            deliver(comm, data, n);
        };
    }
    ~Editor() {
        if (window.PortOpen()) window.Guard([&] { window.OpenPortClick(); });
        mailbox.Drain();
    }

    // Runs what the port posted until `done` holds; false after `deadline`.
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = 10s) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (true) {
            mailbox.Drain();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            mailbox.WaitFor(20ms);
        }
    }

    bool HasNotice(const std::string& text) const {
        const auto notices = ui.Notices();
        return std::find(notices.begin(), notices.end(), text) != notices.end();
    }
    bool WaitForNotice(const std::string& text) {
        return WaitUntil([&] { return HasNotice(text); });
    }
    // Waits until the tracker has received `count` requests in all, since the last
    // TakeRequests of the test; returns them.
    std::vector<sim::Request> WaitForRequests(std::size_t count) {
        WaitUntil([&] {
            auto more = tracker.TakeRequests();
            requests.insert(requests.end(), more.begin(), more.end());
            return requests.size() >= count;
        });
        return requests;
    }
    std::vector<sim::Request> TakeRequests() {
        auto more = tracker.TakeRequests();
        requests.insert(requests.end(), more.begin(), more.end());
        return std::exchange(requests, {});
    }

    // A button's click handler, through the window's error boundary.
    void Press(const std::string& handler) {
        window.Guard([&] { ASSERT_TRUE(window.Click(handler)) << handler; });
    }
    void TickTimer1(int ticks) {
        for (int k = 0; k < ticks; ++k) window.Guard([&] { window.Timer1Timer(); });
    }
    void TickTimer2(int ticks) {
        for (int k = 0; k < ticks; ++k) {
            mailbox.Drain();
            window.Guard([&] { window.Timer2Timer(); });
        }
    }

    const EngineState& Engine() const { return window.Engine().State(); }
    bool Idle() const {
        return Engine().OperationState == OperationState::OpIdle && Engine().TimeoutCount == 0;
    }

    // Opens the port, lets the connect poll send its request, and waits until the
    // device information and the Device ID are in.
    bool Connect() {
        form.SetText("ComboBox1", tracker.SlavePath());
        window.Guard([&] { window.OpenPortClick(); });
        if (!window.PortOpen()) return false;
        return Reconnect();
    }
    // Runs the connect poll's 500 ms and waits for the connect answer and the Device ID.
    bool Reconnect() {
        if (window.ConnectPollCount() == 0) return false;  // the poll is not running
        const std::size_t sent = tracker.AnswersSent();
        TickTimer1(kConnectPollReload);
        return WaitUntil([&] {
            return tracker.AnswersSent() >= sent + 2 && ui.StatusText(0) == "Connected" && Idle() &&
                   !Engine().DeviceIdPending;
        });
    }

    PtyTracker& tracker;
    sim::test::TempDir programDir;
    MemoryForm form;
    RecordingUi ui;
    QueueMailbox mailbox;
    TForm1 window;
    std::vector<std::uint16_t> blocks;  // sizes of the blocks the port delivered
    std::vector<sim::Request> requests;
};

struct OwnTracker {
    explicit OwnTracker(PtyTrackerOptions options) : ownTracker(std::move(options)) {}
    PtyTracker ownTracker;
};

// A simulated tracker and one editor window connected to it.
class Bench : private OwnTracker, public Editor {
public:
    explicit Bench(PtyTrackerOptions options = {}) : OwnTracker(std::move(options)), Editor(ownTracker) {}
};

inline PtyTrackerOptions Throttled() {
    PtyTrackerOptions options;
    options.throttle = true;
    return options;
}

}  // namespace quorvane::integration
