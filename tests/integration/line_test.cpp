// The line itself, headless against simulated trackers: a port pulled out in each
// phase, reconnecting to the same device under another name, the traffic of both
// sides of the line, and finding trackers on several ports at once.
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "app/find_tracker.h"
#include "link/traffic.h"
#include "serial/port_list.h"
#include "tests/integration/bench.h"

namespace quorvane::integration {
namespace {

PtyTrackerOptions StallOn(std::uint8_t command, int skip) {
    PtyTrackerOptions options;
    options.faults.push_back({Fault::NoAnswer, 1, command, skip});
    return options;
}

std::string LostText(const Editor& e, const std::string& rest) {
    return "The port " + e.tracker.SlavePath() + " was lost" + rest;
}

// After a loss: closed as Close leaves it, "Port lost", exactly the one box, and no
// time-out report however long the clock runs on.
void ExpectLost(Editor& e, std::size_t noticesBefore, const std::string& text) {
    ASSERT_TRUE(e.WaitUntil([&] { return e.window.Watch().PortLostState(); }, 3s)) << "the loss went unnoticed";
    EXPECT_FALSE(e.window.PortOpen());
    EXPECT_EQ(e.form.Caption("OpenPort"), "Open");
    EXPECT_EQ(e.ui.StatusText(0), "Disconnect");
    EXPECT_EQ(e.ui.StatusText(1), "Port lost");
    e.TickTimer2(12);
    e.TickTimer1(200);
    const auto notices = e.ui.Notices();
    ASSERT_EQ(notices.size(), noticesBefore + 1) << notices.back();
    EXPECT_EQ(notices.back(), text);
    EXPECT_TRUE(e.ui.Errors().empty());
    EXPECT_EQ(e.ui.StatusText(1), "Port lost");
    EXPECT_TRUE(e.Idle());
    EXPECT_EQ(e.window.ConnectPollCount(), 0);
}

TEST(LostPort, DuringReadAllKeepsTheGroupsReadSoFar) {
    Bench e(StallOn(0x59, 2));  // the Device ID and GPRS reads are answered, Main is not
    ASSERT_TRUE(e.Connect());
    e.TakeRequests();
    e.Press("ReadAllClick");
    e.WaitForRequests(2);
    ASSERT_TRUE(e.WaitUntil([&] { return e.ui.StatusText(1) == "Read GPRS OK"; }));
    const std::string imei = e.form.Text("IMEI");
    const std::size_t notices = e.ui.Notices().size();
    e.tracker.Unplug();
    ExpectLost(e, notices, LostText(e, " during Read All; the groups read so far are in the window"));
    EXPECT_EQ(e.form.Text("IMEI"), imei);
    EXPECT_EQ(e.window.Watch().LostDuring(), "Read All");
}

TEST(LostPort, InEachPhaseGivesOneBoxNamingWhatWasInFlight) {
    struct Phase {
        const char* name;
        std::uint8_t stalled;
        const char* handler;
        std::string text;
    };
    const std::vector<Phase> phases = {
        {"write all", 0x58, "WriteAllClick",
         " during Write All; the tracker may hold only the groups written before the loss"},
        {"write one group", 0x58, "GEOFenceWriteClick", " during Write GEO; the tracker may not have stored it"},
        {"maintenance", 0xC0, "ClearSMSClick", " during Clear SMS Buffer; the tracker may not have done it"},
        {"read one group", 0x59, "EventReadClick", " during Read Event; the window keeps what it showed"},
    };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.name);
        Bench e;
        ASSERT_TRUE(e.Connect());
        // A read first, so every write has values to encode.
        e.Press("ReadAllClick");
        ASSERT_TRUE(e.WaitForNotice("Read All Completed!"));
        e.tracker.InjectFault(Fault::NoAnswer, 1, phase.stalled);
        e.TakeRequests();
        e.Press(phase.handler);
        e.WaitForRequests(1);
        const std::size_t notices = e.ui.Notices().size();
        e.tracker.Unplug();
        ExpectLost(e, notices, LostText(e, phase.text));
    }
}

TEST(LostPort, DuringACompareWithTheTrackerNamesTheBackgroundRead) {
    Bench e(StallOn(0x59, 1));  // the Device ID read is answered, the compare's first read is not
    ASSERT_TRUE(e.Connect());
    e.TakeRequests();
    bool compared = false;
    ASSERT_TRUE(e.window.Safety().CompareWithTracker([&](const auto&) { compared = true; }));
    e.WaitForRequests(1);
    EXPECT_TRUE(e.window.Safety().SideReadActive());
    e.tracker.Unplug();
    ExpectLost(e, 0, LostText(e, " during a background read (backup, verification or compare)"));
    EXPECT_FALSE(e.window.Safety().SideReadActive());
    EXPECT_FALSE(compared);
}

TEST(LostPort, WhileConnectingAndWhileABoxIsOpen) {
    {
        Bench e;
        e.form.SetText("ComboBox1", e.tracker.SlavePath());
        e.window.Guard([&] { e.window.OpenPortClick(); });
        ASSERT_TRUE(e.window.PortOpen());
        e.tracker.Unplug();
        ExpectLost(e, 0, LostText(e, " while connecting to the tracker"));
    }
    {
        Bench e;
        ASSERT_TRUE(e.Connect());
        // The port goes while "Read GPRS Completed!" is open: the loss box comes on top
        // of it, once, and nothing follows either.
        e.ui.onNotice = [&](const std::string& text) {
            if (text != "Read GPRS Completed!") return;
            e.tracker.Unplug();
            EXPECT_TRUE(e.WaitUntil([&] { return e.window.Watch().PortLostState(); }, 3s));
        };
        e.Press("GPRSReadClick");
        ASSERT_TRUE(e.WaitForNotice("Read GPRS Completed!"));
        e.ui.onNotice = nullptr;
        ExpectLost(e, 1, LostText(e, ""));
    }
}

// The identity the system reports for each port is scripted: the test says which
// device sits behind which name.
class ScriptedPorts : public PortSource {
public:
    std::vector<PortInfo> List() override { return ports; }
    std::vector<PortInfo> ports;
};

PortInfo Adapter(const std::string& name, const std::string& serial) {
    PortInfo info;
    info.name = name;
    info.vendor = "Quorvane";
    info.product = "USB cable";
    info.serialNumber = serial;
    info.vendorId = "1d6b";
    info.productId = "0104";
    return info;
}

TEST(Reconnect, ReopensTheSameDeviceUnderItsNewNameOnceTheBoxIsClosed) {
    auto ports = std::make_shared<ScriptedPorts>();
    Bench e;
    ports->ports = {Adapter(e.tracker.SlavePath(), "CABLE-1")};
    e.window.Watch().SetPortSource(ports);
    EXPECT_TRUE(e.window.Watch().ReconnectAutomatically());
    ASSERT_TRUE(e.Connect());

    // Plugged back in under another name while the loss box is still open: another
    // adapter appears too. Nothing is opened until the box is closed.
    PtyTracker again({});
    PtyTracker other({});
    e.ui.onNotice = [&](const std::string&) {
        ports->ports = {Adapter(other.SlavePath(), "CABLE-2"), Adapter(again.SlavePath(), "CABLE-1")};
        e.TickTimer2(3);
        EXPECT_TRUE(e.window.Watch().LossBoxOpen());
        EXPECT_FALSE(e.window.PortOpen());
    };
    ports->ports.clear();
    e.tracker.Unplug();
    ASSERT_TRUE(e.WaitUntil([&] { return e.window.Watch().PortLostState(); }, 3s));
    e.ui.onNotice = nullptr;
    EXPECT_FALSE(e.window.PortOpen());

    e.TickTimer2(1);
    ASSERT_TRUE(e.window.PortOpen());
    EXPECT_EQ(e.window.Comm1().CommName(), again.SlavePath());
    EXPECT_EQ(e.form.Text("ComboBox1"), again.SlavePath());
    EXPECT_EQ(e.ui.StatusText(1), "Reconnecting...");
    EXPECT_TRUE(e.window.Watch().Reconnecting());
    EXPECT_GT(e.window.ConnectPollCount(), 0) << "the connect poll starts as after Open";
    e.TickTimer1(kConnectPollReload);
    ASSERT_TRUE(e.WaitUntil([&] { return e.ui.StatusText(0) == "Connected" && e.Idle(); }));
    e.TickTimer1(1);
    EXPECT_FALSE(e.window.Watch().Reconnecting());
    EXPECT_EQ(e.ui.StatusText(1), "Idle");
    EXPECT_EQ(e.ui.Notices().size(), 1U);  // the loss box only
}

TEST(Reconnect, NeitherWhenSwitchedOffNorForAnotherDevice) {
    auto ports = std::make_shared<ScriptedPorts>();
    Bench e;
    ports->ports = {Adapter(e.tracker.SlavePath(), "CABLE-1")};
    e.window.Watch().SetPortSource(ports);
    ASSERT_TRUE(e.Connect());
    e.tracker.Unplug();
    ASSERT_TRUE(e.WaitUntil([&] { return e.window.Watch().PortLostState(); }, 3s));

    PtyTracker other({});
    ports->ports = {Adapter(other.SlavePath(), "CABLE-2")};
    e.TickTimer2(3);
    EXPECT_FALSE(e.window.PortOpen()) << "another adapter is not the lost one";

    e.window.Watch().SetReconnectAutomatically(false);
    PtyTracker again({});
    ports->ports.push_back(Adapter(again.SlavePath(), "CABLE-1"));
    e.TickTimer2(3);
    EXPECT_FALSE(e.window.PortOpen());
    EXPECT_EQ(e.ui.StatusText(1), "Port lost");

    e.window.Watch().SetReconnectAutomatically(true);
    e.TickTimer2(1);
    EXPECT_TRUE(e.window.PortOpen());
}

// "Reconnecting..." gives way to "Idle" only while nothing else was shown since: a
// read started before the connect answer keeps its own text.
TEST(Reconnect, AReadStartedWhileReconnectingKeepsItsText) {
    auto ports = std::make_shared<ScriptedPorts>();
    Bench e;
    ports->ports = {Adapter(e.tracker.SlavePath(), "CABLE-1")};
    e.window.Watch().SetPortSource(ports);
    ASSERT_TRUE(e.Connect());
    e.tracker.Unplug();
    ASSERT_TRUE(e.WaitUntil([&] { return e.window.Watch().PortLostState(); }, 3s));
    PtyTracker again({});
    ports->ports = {Adapter(again.SlavePath(), "CABLE-1")};
    e.TickTimer2(1);
    ASSERT_TRUE(e.window.Watch().Reconnecting());

    e.Press("GPRSReadClick");
    ASSERT_TRUE(e.WaitForNotice("Read GPRS Completed!"));
    e.TickTimer1(1);
    EXPECT_FALSE(e.window.Watch().Reconnecting());
    EXPECT_EQ(e.ui.StatusText(1), "Read GPRS OK");
}

// The editor's trace of a Read All and the tracker's own trace agree row by row:
// same frames, same commands, lengths and summaries, opposite directions.
TEST(Traffic, ReadAllTraceMatchesTheTrackersOwnRowByRow) {
    auto trackerSide = std::make_shared<TrafficRecorder>();
    trackerSide->SetEnabled(true);
    PtyTrackerOptions options;
    options.traffic = trackerSide;
    Bench e(options);
    e.window.Traffic().SetEnabled(true);
    ASSERT_TRUE(e.Connect());
    e.Press("ReadAllClick");
    ASSERT_TRUE(e.WaitForNotice("Read All Completed!"));
    e.tracker.Stop();

    const auto& mine = e.window.Traffic().Rows();
    const auto& theirs = trackerSide->Rows();
    // Connect and Device ID, then nine reads: GPRS, Main, Main ext, Interface,
    // Temperature, SMS, GEO, Event; each a request and an answer.
    ASSERT_EQ(mine.size(), theirs.size());
    EXPECT_EQ(mine.size(), 2U * 10U);
    for (std::size_t i = 0; i < mine.size(); ++i) {
        SCOPED_TRACE(FormatTrafficLine(mine[i]));
        EXPECT_NE(mine[i].direction, theirs[i].direction);
        EXPECT_EQ(mine[i].kind, TrafficKind::Frame);
        EXPECT_EQ(mine[i].command, theirs[i].command);
        EXPECT_EQ(mine[i].length, theirs[i].length);
        EXPECT_EQ(mine[i].summary, theirs[i].summary);
        EXPECT_EQ(mine[i].bytes, theirs[i].bytes);
        EXPECT_EQ(mine[i].direction, i % 2 == 0 ? TrafficDirection::Sent : TrafficDirection::Received);
    }
    EXPECT_EQ(mine.back().summary, "area 5, offset 0, length 4096, 4096 data bytes");
    EXPECT_EQ(mine.back().length, 4096U + 5U + 7U);
}

// A pseudo-terminal nobody answers on.
class SilentPort {
public:
    SilentPort() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) ADD_FAILURE() << "openpty";
        path_ = name;
    }
    ~SilentPort() {
        ::close(master_);
        ::close(slave_);
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    const std::string& Path() const { return path_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

PtyTrackerOptions Device(const std::string& imei, const std::string& serial, const char* firmware) {
    PtyTrackerOptions options;
    options.device.imei = imei;
    options.device.serial = serial;
    options.device.firmware = firmware;
    return options;
}

TEST(FindTracker, ListsEveryTrackerWithinTheWindowAndWhyOtherPortsFailed) {
    PtyTracker a(Device("860000000000001", "QVA1", "QV-KR420-V2.1.7"));
    PtyTracker b(Device("860000000000002", "QVB2", "QV-KR310-V1.4.2"));
    PtyTracker c(Device("860000000000003", "QVC3", "QV-KR420-V2.1.7"));
    PtyTracker held({});
    PtyTracker pulled(StallOn(0x50, 0));  // takes the request, then is pulled out
    SilentPort silent;
    QueueMailbox mailbox;
    TComm holder(mailbox);  // another program has this one open
    holder.SetCommName(held.SlavePath());
    holder.OpenComm();

    std::vector<PortInfo> ports;
    for (const std::string& name : {a.SlavePath(), silent.Path(), b.SlavePath(), std::string("/dev/qv-no-such-port"),
                                    c.SlavePath(), held.SlavePath(), pulled.SlavePath()}) {
        ports.push_back(PortInfo{});
        ports.back().name = name;
    }
    MemoryForm form;
    auto now = std::chrono::steady_clock::now();
    TrackerFinder finder(mailbox, form);
    finder.SetClock([&] { return now; });
    finder.Start(ports);
    pulled.Unplug();
    // Each tracker answers; the silent port holds the search open until the window closes.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    const auto answered = [&] {
        int trackers = 0;
        for (const FindResult& r : finder.Results()) trackers += r.outcome == FindResult::Outcome::Tracker;
        return trackers;
    };
    while ((answered() < 3 || finder.Results().back().reason.empty()) && std::chrono::steady_clock::now() < deadline) {
        if (mailbox.WaitFor(20ms)) mailbox.Drain();
        EXPECT_FALSE(finder.Poll());
    }
    now += TrackerFinder::kAnswerWindow;
    EXPECT_TRUE(finder.Poll());

    const auto& r = finder.Results();
    ASSERT_EQ(r.size(), 7U);
    EXPECT_EQ(r[0].Text(), a.SlavePath() + ": tracker, IMEI 860000000000001, serial QVA1, firmware QV-KR420-V2.1.7");
    EXPECT_EQ(r[1].Text(), silent.Path() + ": no answer");
    EXPECT_EQ(r[2].imei, "860000000000002");
    EXPECT_EQ(r[2].firmware, "QV-KR310-V1.4.2");
    EXPECT_TRUE(r[2].authAccepted);
    EXPECT_EQ(r[3].outcome, FindResult::Outcome::OpenFailed);
    EXPECT_EQ(r[3].reason, "Error opening serial port: No such device: /dev/qv-no-such-port does not exist (the "
                           "adapter may be unplugged, or it appeared under another name).");
    EXPECT_EQ(r[4].serialNumber, "QVC3");
    EXPECT_EQ(r[5].outcome, FindResult::Outcome::OpenFailed);
    EXPECT_NE(r[5].reason.find("is busy: another program has it open"), std::string::npos) << r[5].reason;
    EXPECT_NE(r[5].reason.find("process id " + std::to_string(::getpid())), std::string::npos) << r[5].reason;
    EXPECT_EQ(r[6].Text(), pulled.SlavePath() + ": no answer (port lost)");
    // Every port it opened is closed again: the trackers' ports can be opened anew.
    TComm again(mailbox);
    again.SetCommName(a.SlavePath());
    EXPECT_NO_THROW(again.OpenComm());
}

// A device that is no tracker and floods the line: no box, no freeze, the traffic
// kept bounded; pulling it out afterwards still gives the one loss box.
TEST(LostPort, AFloodingDeviceThatIsNoTrackerStaysBounded) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    sim::test::TempDir dir;
    MemoryForm form;
    RecordingUi ui;
    QueueMailbox mailbox;
    TForm1 window(form, ui, mailbox, dir.Path().string() + "/");
    window.Watch().SetPortSource(std::make_shared<FunctionPortSource>([] { return std::vector<PortInfo>{}; }));
    window.FormCreate();
    window.Traffic().SetEnabled(true);
    form.SetText("ComboBox1", name);
    window.Guard([&] { window.OpenPortClick(); });
    ASSERT_TRUE(window.PortOpen());

    // Noise with frame headers in it, 8 MiB of it, as fast as the line takes it.
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        std::vector<std::uint8_t> noise(4096);
        std::uint32_t seed = 12345;
        for (std::size_t i = 0; i < noise.size(); ++i) {
            seed = seed * 1103515245U + 12345U;
            noise[i] = i % 97 == 0 ? 0x5A : i % 97 == 1 ? 0xA5 : static_cast<std::uint8_t>(seed >> 16);
        }
        std::size_t sent = 0;
        while (!stop && sent < std::size_t{8} * 1024 * 1024) {
            const auto n = ::write(master, noise.data(), noise.size());
            if (n > 0) sent += static_cast<std::size_t>(n);
        }
    });
    const auto end = std::chrono::steady_clock::now() + 1500ms;
    int ticks = 0;
    while (std::chrono::steady_clock::now() < end) {
        mailbox.Drain();
        window.Guard([&] { window.Timer1Timer(); });
        if (++ticks % 100 == 0) window.Guard([&] { window.Timer2Timer(); });
        mailbox.WaitFor(5ms);
    }
    stop = true;
    flood.join();
    mailbox.Drain();

    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_TRUE(ui.Errors().empty());
    EXPECT_EQ(ui.StatusText(0), "Disconnect");
    EXPECT_GT(window.Traffic().Rows().size(), 10U);
    EXPECT_LE(window.Traffic().Rows().size(), TrafficRecorder::kDefaultCapacity);
    for (const TrafficRow& row : window.Traffic().Rows()) EXPECT_LE(row.bytes.size(), TrafficRecorder::kMaxRowBytes);

    ::close(master);
    const auto lostBy = std::chrono::steady_clock::now() + 3s;
    while (!window.Watch().PortLostState() && std::chrono::steady_clock::now() < lostBy) {
        mailbox.WaitFor(20ms);
        mailbox.Drain();
    }
    EXPECT_TRUE(window.Watch().PortLostState());
    EXPECT_EQ(ui.Notices(), std::vector<std::string>{"The port " + std::string(name) +
                                                     " was lost while connecting to the tracker"});
    ::close(slave);
}

}  // namespace
}  // namespace quorvane::integration
