// A long run of random operations against the simulated tracker on a pseudo-
// terminal, with random faults, through the window's own logic. The test is the
// clock: it ticks Timer1 and Timer2 itself and waits only for the tracker's bytes.
//
// After every operation: the engine is idle, the user was told exactly what the
// operation's outcome calls for (a completion only when the tracker acknowledged,
// otherwise the error or time-out text), and no error box appeared. Over the run the
// number of live heap blocks stays flat.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/form1.h"
#include "model/memory_form.h"
#include "model/window_model.h"
#include "link/engine.h"
#include "serial/comm.h"
#include "serial/mailbox.h"
#include "sim/fault.h"
#include "sim/pty_tracker.h"
#include "tests/soak/live_allocations.h"
#include "tests/support/recording_ui.h"

namespace quorvane::soak {
namespace {

using namespace std::chrono_literals;
using sim::Fault;
using test_support::RecordingUi;

// --- what each operation does and says ----------------------------------------------

enum class Kind {
    Read,      // a group's read: "Read <name> OK" / "Read <name> Completed!"
    Write,     // a group's write
    Simple,    // defaults, clears, mileage: status 1 accepted, anything else ignored
    Rfid,      // authorize / delete IDs: status 1 accepted, 2 refused, 10 s time-out
    Check,     // check IDs: status 2 refused, any other accepted
    TempPair,  // temperature pairing: status 2 refused, any other accepted
};

struct Operation {
    const char* handler;
    Kind kind;
    std::uint8_t command;  // the request's command, for aiming a fault
    int exchanges;         // requests it sends when all goes well
    const char* okPanel;
    const char* okNotice;
    const char* errorName;  // "<name> Error", "<name> Overtime!" (reads and writes: Read / Write)
};

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> ops = {
        {"GPRSReadClick", Kind::Read, CmdReadBlock, 1, "Read GPRS OK", "Read GPRS Completed!", "Read"},
        {"MainSetReadClick", Kind::Read, CmdReadBlock, 2, "Read Main OK", "Read Main Completed!", "Read"},
        {"InterfaceReadClick", Kind::Read, CmdReadBlock, 1, "Read Interface OK", "Read Interface Completed!", "Read"},
        {"Temp_ReadClick", Kind::Read, CmdReadBlock, 1, "Read Temperature OK", "Read Temperature Completed!", "Read"},
        {"SMSReadClick", Kind::Read, CmdReadBlock, 1, "Read Auth OK", "Read Auth Completed!", "Read"},
        {"GEOFenceReadClick", Kind::Read, CmdReadBlock, 1, "Read GEO OK", "Read GEO Completed!", "Read"},
        {"EventReadClick", Kind::Read, CmdReadBlock, 1, "Read Event OK", "Read Event Completed!", "Read"},
        {"ReadAllClick", Kind::Read, CmdReadBlock, 8, "Read All OK", "Read All Completed!", "Read"},
        {"GPRSWriteClick", Kind::Write, CmdWriteBlock, 1, "Write GPRS OK", "Write GPRS Completed!", "Write"},
        {"MainSetWriteClick", Kind::Write, CmdWriteBlock, 2, "Write Main OK", "Write Main Completed!", "Write"},
        {"InterfaceWriteClick", Kind::Write, CmdWriteBlock, 1, "Write Interface OK", "Write Interface Completed!", "Write"},
        {"Temp_WriteClick", Kind::Write, CmdWriteBlock, 1, "Write Temperature OK", "Write Temperature Completed!", "Write"},
        {"SMSWriteClick", Kind::Write, CmdWriteBlock, 1, "Write Auth OK", "Write Auth Completed!", "Write"},
        {"GEOFenceWriteClick", Kind::Write, CmdWriteBlock, 1, "Write GEO OK", "Write GEO Completed!", "Write"},
        {"EventWriteClick", Kind::Write, CmdWriteBlock, 1, "Write Event OK", "Write Event Completed!", "Write"},
        {"WriteAllClick", Kind::Write, CmdWriteBlock, 8, "Write All OK", "Write All Completed!", "Write"},
        {"InitAllClick", Kind::Simple, CmdDefault, 1, "Default OK", "Default Completed!", "Default"},
        {"ClearSMSClick", Kind::Simple, CmdClearSms, 1, "Clear SMS Buffer OK", "Clear SMS Buffer Completed!", "Clear SMS Buffer"},
        {"ClearGPRS1Click", Kind::Simple, CmdClearGprs1, 1, "Clear GPRS-1 Buffer OK", "Clear GPRS-1 Buffer Completed!", "Clear GPRS-1 Buffer"},
        {"ClearGPRS2Click", Kind::Simple, CmdClearGprs2, 1, "Clear GPRS-2 Buffer OK", "Clear GPRS-2 Buffer Completed!", "Clear GPRS-2 Buffer"},
        {"ClearGPSLogClick", Kind::Simple, CmdClearGpsLog, 1, "Clear GPS Log OK", "Clear GPS Log Completed!", "Clear GPS Log"},
        {"SetMileageClick", Kind::Simple, CmdSetMileage, 1, "Set Mileaga OK", "Set Mileaga Completed!", "Set Mileage"},
        {"SET_IDClick", Kind::Rfid, CmdAuthorizeId, 1, "Auth ID OK", "Auth ID Completed!", "Auth ID"},
        {"DEL_IDClick", Kind::Rfid, CmdDeleteId, 1, "Delete ID OK", "Delete ID Completed!", "Delete ID"},
        {"CHK_IDClick", Kind::Check, CmdCheckId, 1, "Check ID OK", "Check ID Completed!", "Check ID"},
        {"Temp_PairClick", Kind::TempPair, CmdTemperaturePair, 1, "Temperature Pairing OK",
         "Temperature Pairing Completed!", "Temperature Pairing"},
    };
    return ops;
}

// How an operation ends.
enum class End {
    Completed,   // the completion texts
    Refused,     // "<name> Error" / "<name> Error!" at once
    Mismatch,    // a read or write answered with another command: "Read Error!" / "Write Error!"
    TimeOut,     // "<name> Error" / "<name> Overtime!" after the reply time-out
    Restarted,   // the tracker restarted; the connect poll takes over, nothing completes
};

std::optional<Fault> FaultAt(const std::vector<std::optional<Fault>>& faults, int step) {
    return step < static_cast<int>(faults.size()) ? faults[static_cast<std::size_t>(step)] : std::nullopt;
}

// What a fault on one answer does to the operation.
std::optional<End> EffectOf(const Operation& op, Fault fault) {
    switch (fault) {
    case Fault::SplitAnswer:
    case Fault::GarbageBefore:
    case Fault::StoreWrong:
    case Fault::RepeatAnswer:  // these three: the right answer arrives as well (not injected here)
    case Fault::StaleAnswer:
    case Fault::LateAnswer: return std::nullopt;  // the answer still arrives whole (and says done)
    case Fault::NoAnswer:
    case Fault::CorruptCrc: return End::TimeOut;
    case Fault::BootText: return End::Restarted;
    case Fault::WrongCommand:
        return op.kind == Kind::Read || op.kind == Kind::Write ? End::Mismatch : End::TimeOut;
    case Fault::StatusZero:
        if (op.kind == Kind::Read) return std::nullopt;  // a read answer has no status
        return End::TimeOut;
    case Fault::Refused:
        if (op.kind == Kind::Read) return std::nullopt;
        if (op.kind == Kind::Write || op.kind == Kind::Simple) return End::TimeOut;
        return End::Refused;
    }
    return std::nullopt;
}

// Faults that make sense for an operation's answers. A status 0 is "accepted" by the
// check and pairing commands (any status but 2), so it is left out there.
std::vector<Fault> FaultsFor(const Operation& op) {
    std::vector<Fault> f = {Fault::NoAnswer,     Fault::CorruptCrc, Fault::SplitAnswer,
                            Fault::GarbageBefore, Fault::WrongCommand, Fault::BootText};
    if (op.kind != Kind::Read && op.kind != Kind::Check && op.kind != Kind::TempPair) f.push_back(Fault::StatusZero);
    if (op.kind != Kind::Read) f.push_back(Fault::Refused);
    return f;
}

// --- the bench ----------------------------------------------------------------------

class Soak : public ::testing::Test {
protected:
    Soak() : tracker(sim::PtyTrackerOptions{}), window(form, ui, mailbox, programDir.string() + "/") {}
    ~Soak() override { std::filesystem::remove_all(programDir); }

    void SetUp() override {
        window.Watch().SetPortSource(
            std::make_shared<FunctionPortSource>([this] { return BarePorts({tracker.SlavePath()}); }));
        window.FormCreate();
        auto deliver = window.Comm1().OnReceiveData;
        window.Comm1().OnReceiveData = [this, deliver](TComm& comm, const std::uint8_t* data, std::uint16_t n) {
            delivered += n;
            deliver(comm, data, n);
        };
        form.SetText("ComboBox1", tracker.SlavePath());
        window.Guard([&] { window.OpenPortClick(); });
        ASSERT_TRUE(window.PortOpen()) << (ui.Errors().empty() ? "" : ui.Errors().back());
        // A short gap time-out: answers reach the window quickly, and cut into more
        // blocks than at the usual 30 ms, which the reassembly must take in its stride.
        window.Comm1().SetReadIntervalTimeout(2);
        ASSERT_NO_FATAL_FAILURE(RunConnectPoll());
        ASSERT_EQ(ui.StatusText(0), "Connected");
        ui.ClearLog();
    }

    void TearDown() override {
        if (window.PortOpen()) window.Guard([&] { window.OpenPortClick(); });
        mailbox.Drain();
    }

    // Runs what the port posted until `done` holds, waiting for the tracker's bytes;
    // fails after 10 s.
    void WaitUntil(const std::function<bool()>& done, const std::string& what) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (true) {
            mailbox.Drain();
            if (done()) return;
            if (std::chrono::steady_clock::now() > end) FAIL() << "waited 10 s for " << what;
            mailbox.WaitFor(5ms);
        }
    }

    // Waits until the tracker has received one more request, sent `transmissions`
    // parts of its answer (0 when it stays silent), and every byte of them has reached
    // the window. The window may already be further along a chain; ExpectNothingMore
    // checks the count at the end of the operation.
    void Settle(std::uint64_t transmissions, const std::string& what) {
        ++requestsExpected;
        answersExpected += transmissions;
        WaitUntil(
            [&] {
                requestsSeen += tracker.TakeRequests().size();
                return requestsSeen >= requestsExpected && tracker.AnswersSent() >= answersExpected &&
                       delivered == tracker.BytesSent();
            },
            what);
    }
    // Nothing more was sent or answered than the operation called for.
    void ExpectNothingMore(const std::string& what) {
        mailbox.Drain();
        requestsSeen += tracker.TakeRequests().size();
        EXPECT_EQ(requestsSeen, requestsExpected) << "requests sent for " << what;
        EXPECT_EQ(tracker.AnswersSent(), answersExpected) << "answers to " << what;
    }

    // One second of the window's clock: Timer1 every 10 ms, then Timer2.
    void OneSecond() {
        for (int k = 0; k < 100; ++k) window.Guard([&] { window.Timer1Timer(); });
        window.Guard([&] { window.Timer2Timer(); });
    }

    // The connect poll's 500 ms, then its connect answer and the Device ID read.
    void RunConnectPoll() {
        ASSERT_GT(window.ConnectPollCount(), 0);
        for (int k = 0; k < kConnectPollReload; ++k) window.Guard([&] { window.Timer1Timer(); });
        ASSERT_NO_FATAL_FAILURE(Settle(1, "the connect request"));
        ASSERT_NO_FATAL_FAILURE(Settle(1, "the Device ID read"));
        ASSERT_EQ(window.ConnectPollCount(), 0);
        ASSERT_TRUE(Idle());
    }

    bool Idle() const {
        const EngineState& s = window.Engine().State();
        return s.OperationState == OperationState::OpIdle && s.TimeoutCount == 0 && !s.DeviceIdPending;
    }

    // Sets the boxes an operation reads to values the tracker accepts.
    void Prepare(const Operation& op) {
        if (op.kind == Kind::Rfid) form.SetText("RFID_Memo", "A1B2C3\r\nZZ99");
        if (op.kind == Kind::TempPair) {
            form.SetText("Temp_Index", "3");
            form.SetText("Temp_Name", "Cab");
        }
    }

    // Runs `op` with `faults[k]` on the answer to its k-th request; returns how it
    // ended, checked against what the user was told.
    End Run(const Operation& op, const std::vector<std::optional<Fault>>& faults) {
        ui.ClearLog();
        int skip = 0;
        for (const auto& f : faults) {
            if (f) tracker.InjectFault(sim::FaultPlan{*f, 1, op.command, skip});
            ++skip;
        }
        // Where the operation stops, and why.
        int steps = op.exchanges;
        std::optional<End> end;
        for (int k = 0; k < op.exchanges && !end; ++k) {
            if (const auto f = FaultAt(faults, k)) {
                end = EffectOf(op, *f);
                if (end) steps = k + 1;
            }
        }
        const End expected = end.value_or(End::Completed);

        Prepare(op);
        window.Guard([&] { EXPECT_TRUE(window.Click(op.handler)) << op.handler; });
        for (int k = 0; k < steps; ++k) {
            const auto f = FaultAt(faults, k);
            const std::uint64_t parts = f == Fault::NoAnswer ? 0 : f == Fault::SplitAnswer ? 2 : 1;
            Settle(parts, std::string(op.handler) + " step " + std::to_string(k));
            if (::testing::Test::HasFatalFailure()) return expected;
        }
        // Plans for steps never reached must not hit the connect poll's requests.
        tracker.ClearFaults();

        const std::string name = op.errorName;
        std::vector<std::string> notices;
        std::string panel;
        switch (expected) {
        case End::Completed:
            notices = {op.okNotice};
            panel = op.okPanel;
            break;
        case End::Refused:
            notices = {name + " Error!"};
            panel = name + " Error";
            break;
        case End::Mismatch:
            notices = {name + " Error!"};
            panel = name + " Error!";
            break;
        case End::TimeOut: {
            const int seconds = op.kind == Kind::Rfid ? kRfidReplyTimeout : kReplyTimeout;
            for (int s = 0; s + 1 < seconds; ++s) OneSecond();
            EXPECT_TRUE(ui.Notices().empty()) << op.handler << ": a box before the time-out";
            OneSecond();
            notices = {name + " Overtime!"};
            panel = name + " Error";
            break;
        }
        case End::Restarted:
            // The boot text restarts the connect poll, whose request abandons the
            // operation half a second later.
            EXPECT_EQ(window.ConnectPollCount(), kConnectPollReload) << op.handler << ": no restart seen";
            RunConnectPoll();
            break;
        }
        EXPECT_EQ(ui.Notices(), notices) << op.handler;
        if (!panel.empty()) {
            EXPECT_EQ(ui.StatusText(1), panel) << op.handler;
        }
        EXPECT_TRUE(ui.Errors().empty()) << op.handler << ": " << (ui.Errors().empty() ? "" : ui.Errors().front());
        if (expected != End::Completed) {
            for (const std::string& n : ui.Notices())
                EXPECT_EQ(n.find("Completed"), std::string::npos) << op.handler << " reported done: " << n;
        }

        // An accepted maintenance answer restarts the connect poll to refresh the Info tab.
        if (window.ConnectPollCount() > 0) RunConnectPoll();
        EXPECT_TRUE(Idle()) << op.handler << " left the engine busy";
        ExpectNothingMore(op.handler);
        EXPECT_EQ(ui.StatusText(0), "Connected");
        return expected;
    }

    // An empty program folder: no start-up settings file.
    const std::filesystem::path programDir = [] {
        auto dir = std::filesystem::temp_directory_path() / ("quorvane-soak-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir;
    }();
    sim::PtyTracker tracker;
    MemoryForm form;
    RecordingUi ui;
    QueueMailbox mailbox;
    TForm1 window;
    std::uint64_t delivered = 0;    // bytes the port handed to the window
    std::uint64_t requestsSeen = 0, requestsExpected = 0;  // since the start
    std::uint64_t answersExpected = 0;                     // the tracker's transmissions
    std::vector<std::uint8_t> requests;
};

TEST_F(Soak, ThousandsOfRandomOperationsWithFaults) {
    constexpr int kOperations = 2500;
    constexpr std::uint32_t kSeed = 20240611;
    std::mt19937 random(kSeed);
    const auto& ops = Operations();
    std::map<End, int> ends;

    LiveAllocations warm{};
    const auto started = std::chrono::steady_clock::now();
    for (int n = 0; n < kOperations; ++n) {
        if (n == kOperations / 3) warm = CurrentAllocations();
        const Operation& op = ops[random() % ops.size()];
        // Most operations run clean; the rest get a fault on one of their answers.
        std::vector<std::optional<Fault>> faults(static_cast<std::size_t>(op.exchanges));
        if (random() % 100 < 40) {
            const auto choices = FaultsFor(op);
            faults[random() % faults.size()] = choices[random() % choices.size()];
        }
        ++ends[Run(op, faults)];
        tracker.ClearFaults();
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "stopped at operation " << n << " (" << op.handler << "), seed " << kSeed;
            return;
        }
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
    ui.ClearLog();
    const LiveAllocations end = CurrentAllocations();

    std::printf("soak: %d operations in %lld s: %d completed, %d refused, %d mismatched, %d timed out, "
                "%d abandoned by a tracker restart (not reported to the user)\n",
                kOperations, static_cast<long long>(elapsed.count()), ends[End::Completed], ends[End::Refused],
                ends[End::Mismatch], ends[End::TimeOut], ends[End::Restarted]);
    std::printf("soak: live heap blocks %lld -> %lld, bytes %lld -> %lld\n", warm.blocks, end.blocks, warm.bytes,
                end.bytes);
    // Every kind of ending happened, and memory stayed flat once warm.
    for (End e : {End::Completed, End::Refused, End::Mismatch, End::TimeOut, End::Restarted})
        EXPECT_GT(ends[e], 0) << "an ending never happened: " << static_cast<int>(e);
    if (warm.blocks >= 0) {
        EXPECT_LE(end.blocks - warm.blocks, 64) << "live heap blocks grew";
    }
    EXPECT_LE(end.bytes - warm.bytes, 256 * 1024) << "live heap bytes grew";
}

// After the faults, what the window writes is what it reads back.
TEST_F(Soak, WriteAllThenReadAllKeepsTheWindow) {
    const auto& ops = Operations();
    auto find = [&](const char* handler) {
        return *std::find_if(ops.begin(), ops.end(), [&](const Operation& o) { return std::string(o.handler) == handler; });
    };
    form.SetText("APN", "soak.example");
    form.SetText("TimeInterval", "77");
    ASSERT_EQ(Run(find("WriteAllClick"), {std::nullopt, std::nullopt, Fault::SplitAnswer}), End::Completed);
    const std::string apn = form.Text("APN");
    form.SetText("APN", "");
    form.SetText("TimeInterval", "0");
    ASSERT_EQ(Run(find("ReadAllClick"), {Fault::GarbageBefore}), End::Completed);
    EXPECT_EQ(form.Text("APN"), apn);
    EXPECT_EQ(form.Text("TimeInterval"), "77");
}

}  // namespace
}  // namespace quorvane::soak
