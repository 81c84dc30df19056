#include "app/port_loss.h"

#include <array>

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
