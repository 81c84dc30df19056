#include "app/port_loss.h"

#include <algorithm>
#include <array>

#include "app/form1.h"
#include "app/window_safety.h"
#include "serial/comm.h"

namespace quorvane {

namespace {

// Group names of the block steps, as the window's own OK texts name them.
constexpr std::array<const char*, kBlockSteps> kGroups = {
    "GPRS", "Main", "Main", "Interface", "Temperature", "Auth", "GEO", "Event"};

const char* GroupOf(std::uint8_t step) { return step < kGroups.size() ? kGroups[step] : "block"; }

}  // namespace

std::string InFlightName(const EngineState& s, bool connected) {
    // An operation whose end is being shown (its box is open) awaits nothing more.
    if (s.TimeoutCount == 0) return s.ConnectPollCount != 0 && !connected ? "connecting" : "";
    switch (s.OperationState) {
    case OpIdle:
        return s.ConnectPollCount != 0 && !connected ? "connecting" : "";
    case OpRead:
        if (s.ReadStep == ReadStepDeviceId) return "the Device ID read";
        return s.ReadAllActive ? "Read All" : std::string("Read ") + GroupOf(s.ReadStep);
    case OpWrite:
        return s.WriteAllActive ? "Write All" : std::string("Write ") + GroupOf(s.WriteStep);
    case OpDefault: return "Default";
    case OpClearSms: return "Clear SMS Buffer";
    case OpClearGprs1: return "Clear GPRS-1 Buffer";
    case OpClearGprs2: return "Clear GPRS-2 Buffer";
    case OpClearGpsLog: return "Clear GPS Log";
    case OpSetMileage: return "Set Mileage";
    case OpAuthorizeId: return "Auth ID";
    case OpDeleteId: return "Delete ID";
    case OpCheckId: return "Check ID";
    case OpTemperaturePair: return "Temperature Pairing";
    }
    return "";
}

std::string PortLostText(const std::string& port, const std::string& during) {
    std::string lost = "The port " + port + " was lost";
    if (during.empty()) return lost;
    if (during == "connecting") return lost + " while connecting to the tracker";
    if (during == "Read All") return lost + " during Read All; the groups read so far are in the window";
    if (during == "Write All") {
        return lost + " during Write All; the tracker may hold only the groups written before the loss";
    }
    if (during.starts_with("Read ")) return lost + " during " + during + "; the window keeps what it showed";
    if (during.starts_with("Write ")) return lost + " during " + during + "; the tracker may not have stored it";
    if (during == "the Device ID read" || during == kBackgroundRead) return lost + " during " + during;
    return lost + " during " + during + "; the tracker may not have done it";
}

}  // namespace quorvane

namespace quorvane {

PortSource& PortWatch::Ports() {
    if (!source_) source_ = MakeSystemPortSource();
    return *source_;
}

// What the system knows of the port named `name` now; the bare name when nothing.
PortInfo PortWatch::Identify(const std::string& name) {
    for (PortInfo& port : Ports().List()) {
        if (port.name == name || "/dev/" + port.name == name) return port;
    }
    PortInfo info;
    info.name = name;
    return info;
}

void PortWatch::Opened(const std::string& name) {
    openedPort_ = Identify(name);
    lost_ = false;
    reconnecting_ = false;
}

void PortWatch::PortLost() {
    if (!window_.PortOpen()) return;
    const std::string port = window_.Comm1().CommName();
    const std::string during = window_.Safety().SideReadActive()
                                   ? std::string(kBackgroundRead)
                                   : InFlightName(window_.Engine().State(), window_.Connected());
    // No time-out report may follow for what was in flight: the port is gone.
    window_.Engine().AbandonOperation();
    window_.OpenPortClick();  // closes as the Close button does
    ui_.SetStatusText(1, "Port lost");
    lost_ = true;
    lostName_ = port;
    lostDuring_ = during;
    reconnecting_ = false;
    if (OnPortLost) OnPortLost(port, during);
    // The box may run a nested loop that ticks Timer2: no reconnect while it is open.
    struct BoxOpen {
        bool& flag;
        explicit BoxOpen(bool& f) : flag(f) { flag = true; }
        ~BoxOpen() { flag = false; }
        BoxOpen(const BoxOpen&) = delete;
        BoxOpen& operator=(const BoxOpen&) = delete;
    } box(lossBoxOpen_);
    ui_.Notice(PortLostText(port, during));
}

void PortWatch::Tick10ms() {
    // After a reconnect the tracker's answer ends "Reconnecting...".
    if (!reconnecting_ || !window_.Connected()) return;
    reconnecting_ = false;
    if (reconnectShown_) ui_.SetStatusText(1, "Idle");
}

void PortWatch::Tick1s() {
    if (!lost_ || !reconnectAutomatically_ || lossBoxOpen_ || window_.PortOpen()) return;
    const std::vector<PortInfo> ports = Ports().List();
    const auto found = std::find_if(ports.begin(), ports.end(),
                                    [this](const PortInfo& p) { return openedPort_.SameDevice(p); });
    if (found == ports.end()) return;
    const PortInfo& device = *found;
    form_.SetText("ComboBox1", device.name);
    try {
        window_.OpenPortClick();
    } catch (const ECommsError&) {
        return;  // busy while the system probes the new device, or gone again: next tick
    }
    openedPort_ = device;
    reconnecting_ = true;
    ui_.SetStatusText(1, "Reconnecting...");
    reconnectShown_ = true;
}

bool PortWatch::Reconnecting() const { return reconnecting_ && window_.PortOpen() && !window_.Connected(); }

}  // namespace quorvane
