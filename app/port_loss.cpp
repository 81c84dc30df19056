#include "app/port_loss.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <optional>

#include "app/form1.h"
#include "app/window_safety.h"
#include "serial/comm.h"

namespace quorvane {

namespace {

// What a background read is called in the box.
constexpr const char* kBackgroundRead = "a background read (backup, verification or compare)";

// The group of a block step: steps number the blocks of AllGroups() in order.
const Group* GroupOfStep(std::uint8_t step) {
    const auto blocks = AllGroups().blocks;
    return step < blocks.size() ? &GroupOf(blocks[step]) : nullptr;
}

InFlight Running(Operation op, const Group* group) { return {InFlight::Running, op, group}; }

std::optional<Operation> OneShotOf(OperationState state) {
    switch (state) {
    case OpDefault: return Operation::Default;
    case OpClearSms: return Operation::ClearSms;
    case OpClearGprs1: return Operation::ClearGprs1;
    case OpClearGprs2: return Operation::ClearGprs2;
    case OpClearGpsLog: return Operation::ClearGpsLog;
    case OpSetMileage: return Operation::SetMileage;
    case OpAuthorizeId: return Operation::AuthorizeId;
    case OpDeleteId: return Operation::DeleteId;
    case OpCheckId: return Operation::CheckId;
    case OpTemperaturePair: return Operation::TemperaturePair;
    case OpIdle:
    case OpRead:
    case OpWrite: break;
    }
    return std::nullopt;
}

}  // namespace

InFlight InFlightOf(const EngineState& s, bool connected) {
    const InFlight idle{s.ConnectPollCount != 0 && !connected ? InFlight::Connecting : InFlight::None};
    // An operation whose end is being shown (its box is open) awaits nothing more.
    if (s.TimeoutCount == 0) return idle;
    switch (s.OperationState) {
    case OpIdle: return idle;
    case OpRead:
        if (s.ReadStep == ReadStepDeviceId) return {InFlight::DeviceIdRead};
        return s.ReadAllActive ? Running(Operation::ReadAll, &AllGroups())
                               : Running(Operation::ReadGroup, GroupOfStep(s.ReadStep));
    case OpWrite:
        return s.WriteAllActive ? Running(Operation::WriteAll, &AllGroups())
                                : Running(Operation::WriteGroup, GroupOfStep(s.WriteStep));
    default: break;
    }
    const auto op = OneShotOf(s.OperationState);
    return op ? Running(*op, nullptr) : idle;
}

std::string InFlightName(const InFlight& f) {
    switch (f.kind) {
    case InFlight::None: return "";
    case InFlight::Connecting: return "connecting";
    case InFlight::DeviceIdRead: return "the Device ID read";
    case InFlight::BackgroundRead: return kBackgroundRead;
    case InFlight::Running: break;
    }
    const char* group = f.group != nullptr ? f.group->title : "block";
    switch (f.op) {
    case Operation::ReadGroup:
    case Operation::ReadAll: return std::string("Read ") + group;
    case Operation::WriteGroup:
    case Operation::WriteAll: return std::string("Write ") + group;
    default: return TitleOf(f.op);
    }
}

std::string PortLostText(const std::string& port, const InFlight& f) {
    std::string lost = "The port " + port + " was lost";
    switch (f.kind) {
    case InFlight::None: return lost;
    case InFlight::Connecting: return lost + " while connecting to the tracker";
    case InFlight::DeviceIdRead:
    case InFlight::BackgroundRead: return lost + " during " + InFlightName(f);
    case InFlight::Running: break;
    }
    const std::string during = lost + " during " + InFlightName(f);
    switch (f.op) {
    case Operation::ReadAll: return during + "; the groups read so far are in the window";
    case Operation::WriteAll: return during + "; the tracker may hold only the groups written before the loss";
    case Operation::ReadGroup: return during + "; the window keeps what it showed";
    case Operation::WriteGroup: return during + "; the tracker may not have stored it";
    default: return during + "; the tracker may not have done it";
    }
}

std::string RestartedText(const OperationResult& r) {
    std::string text = "the tracker restarted during " + InFlightName(Running(r.op, r.group));
    if (r.blocksTotal == 0) return text;
    const bool write = r.op == Operation::WriteAll || r.op == Operation::WriteGroup;
    return text + "; " + std::to_string(r.blocksDone) + " of " + std::to_string(r.blocksTotal) +
           (r.blocksTotal == 1 ? " block was " : " blocks were ") + (write ? "written" : "read");
}

}  // namespace quorvane

namespace quorvane {

PortSource& PortWatch::Ports() {
    if (!source_) source_ = MakeSystemPortSource();
    return *source_;
}

namespace {

// A port named by its path in the file system (/dev/ttyUSB0, a link a device rule
// made, a pseudo-terminal), not a bare name the system's list gives.
bool IsPath(const std::string& name) { return !name.empty() && name.front() == '/'; }

bool PathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

// What the system knows of the port named `name` now; the bare name when nothing. A
// link is known by the device it points to.
PortInfo PortWatch::Identify(const std::string& name) {
    std::string target = name;
    if (IsPath(name)) {
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::canonical(name, error);
        if (!error) target = resolved.string();
    }
    for (PortInfo& port : Ports().List()) {
        for (const std::string& n : {name, target}) {
            if (port.name == n || "/dev/" + port.name == n) return port;
        }
    }
    PortInfo info;
    info.name = name;
    return info;
}

void PortWatch::Opened(const std::string& name) {
    openedPort_ = Identify(name);
    openedPath_ = name;
    lost_ = false;
    reconnecting_ = false;
}

// The lost port's own path is there again: it went away since the loss and came back,
// or it leads to the same device once more.
bool PortWatch::PathBack() {
    if (!IsPath(openedPath_)) return false;
    if (!PathExists(openedPath_)) {
        pathGone_ = true;
        return false;
    }
    if (pathGone_) return true;
    const PortInfo now = Identify(openedPath_);
    return !openedPort_.serialNumber.empty() && openedPort_.SameDevice(now);
}

void PortWatch::PortLost() {
    if (!window_.PortOpen()) return;
    const std::string port = window_.Comm1().CommName();
    const InFlight inFlight = window_.Safety().SideReadActive()
                                  ? InFlight{InFlight::BackgroundRead}
                                  : InFlightOf(window_.Engine().State(), window_.Connected());
    const std::string during = InFlightName(inFlight);
    // No time-out report may follow for what was in flight: the port is gone.
    window_.Engine().AbandonOperation();
    window_.OpenPortClick();  // closes as the Close button does
    ui_.SetStatusText(1, "Port lost");
    lost_ = true;
    pathGone_ = false;
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
    ui_.Notice(PortLostText(port, inFlight));
}

void PortWatch::Tick10ms() {
    // After a reconnect the tracker's answer ends "Reconnecting...".
    if (!reconnecting_ || !window_.Connected()) return;
    reconnecting_ = false;
    if (reconnectShown_) ui_.SetStatusText(1, "Idle");
}

void PortWatch::Tick1s() {
    if (!lost_ || !reconnectAutomatically_ || lossBoxOpen_ || window_.PortOpen()) return;
    PortInfo device;
    if (PathBack()) {
        // Opened again by the path the user chose, whatever device it leads to now.
        device = Identify(openedPath_);
        device.name = openedPath_;
    } else {
        const std::vector<PortInfo> ports = Ports().List();
        const auto found = std::find_if(ports.begin(), ports.end(),
                                        [this](const PortInfo& p) { return openedPort_.SameDevice(p); });
        if (found == ports.end()) return;
        device = *found;
    }
    form_.SetText("ComboBox1", device.name);
    try {
        window_.OpenPortClick();
    } catch (const ECommsError&) {
        return;  // busy while the system probes the new device, or gone again: next tick
    }
    openedPort_ = device;
    openedPath_ = device.name;
    reconnecting_ = true;
    ui_.SetStatusText(1, "Reconnecting...");
    reconnectShown_ = true;
}

bool PortWatch::Reconnecting() const { return reconnecting_ && window_.PortOpen() && !window_.Connected(); }

}  // namespace quorvane
