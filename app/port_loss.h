// A lost port: the words for what was in flight when the line went, the one box that
// tells the technician, and the watch that reconnects when the device comes back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "seams/form.h"
#include "seams/ui.h"
#include "link/engine.h"
#include "link/groups.h"
#include "serial/port_list.h"

namespace quorvane {

// What was awaited when the line went.
struct InFlight {
    enum Kind : std::uint8_t {
        None,            // idle, or an operation whose end is being shown
        Connecting,      // the connect poll runs and no answer came yet
        DeviceIdRead,    // the automatic Device ID read after the connect answer
        BackgroundRead,  // a backup, verification or compare reads beside the window
        Running,         // `op` of the group table
    };
    Kind kind = None;
    Operation op = Operation::Connect;
    // The group read or written, AllGroups() for all; nullptr for one-shot commands.
    const Group* group = nullptr;
};

// What the engine is awaiting, from its state.
InFlight InFlightOf(const EngineState& state, bool connected);

// The same in the window's words: "Read All", "Write All", "Read GPRS", "Write Main",
// "Default", "Clear SMS Buffer", ..., "the Device ID read", "connecting", or "" when
// nothing is awaited.
std::string InFlightName(const InFlight& inFlight);

// "The port ttyUSB0 was lost during Read All; the groups read so far are in the
// window", and the like for the other operations.
std::string PortLostText(const std::string& port, const InFlight& inFlight);

// "the tracker restarted during Write All; 3 of 8 blocks were written", and the like
// for reads and one-shot commands: an operation the tracker's restart cut short.
std::string RestartedText(const OperationResult& result);

class TForm1;

// The window's watch over its port: what was opened, its loss, and reconnecting to
// the same device. TForm1 owns one and tells it of each open and each tick.
class PortWatch {
public:
    PortWatch(TForm1& window, Form& form, Ui& ui) : window_(window), form_(form), ui_(ui) {}

    // Where port identities come from (the system's list by default; tests inject
    // one). Used for the port box, when a port is opened (to remember what was
    // opened) and while a lost port is awaited.
    void SetPortSource(std::shared_ptr<PortSource> source) { source_ = std::move(source); }
    PortSource& Ports();

    // Called when the port hangs up (the component's hang-up notification; the
    // window wires it itself). Closes the port as Close does, shows "Disconnect" and
    // "Port lost", drops whatever was awaited without its time-out report and shows
    // one box naming the port and what was in flight. Nothing when the port is closed.
    void PortLost();
    // True from a loss until the port is opened again or the window gives up.
    bool PortLostState() const { return lost_; }
    // The name of the port lost last ("" when none).
    const std::string& LostPortName() const { return lostName_; }
    // What was in flight at the loss ("Read All", "connecting", "" when idle).
    const std::string& LostDuring() const { return lostDuring_; }
    // True while the box about the loss is open.
    bool LossBoxOpen() const { return lossBoxOpen_; }
    // Told of each loss, before the box (the command line ends its command there).
    std::function<void(const std::string& port, const std::string& during)> OnPortLost;

    // "Reconnect Automatically": on at first. While a lost port is awaited and no box
    // about the loss is open, each Timer2 tick looks for the lost port's own path
    // (a port opened by a path such as a device rule's link or a pseudo-terminal) to
    // be there again after it went away, else for a listed port with the lost port's
    // identity (see PortInfo::SameDevice); found, it is opened as Open would and the
    // connect poll starts, with "Reconnecting..." in panel 1. A port that cannot be
    // opened yet (busy while the system probes it) is tried again at the next tick.
    bool ReconnectAutomatically() const { return reconnectAutomatically_; }
    void SetReconnectAutomatically(bool on) { reconnectAutomatically_ = on; }
    // True from a reconnect until the connect answer arrives; then panel 1 returns
    // from "Reconnecting..." to "Idle".
    bool Reconnecting() const;

    // --- What TForm1 tells it ------------------------------------------------------

    // The port named `name` was opened.
    void Opened(const std::string& name);
    // Panel 1 is about to show a text.
    void Panel1Changed() { reconnectShown_ = false; }
    // The 10 ms tick: once the tracker answered a reconnect, panel 1 returns to "Idle"
    // unless something else was shown there since.
    void Tick10ms();
    // The one-second tick: looks for the lost device.
    void Tick1s();

private:
    PortInfo Identify(const std::string& name);
    bool PathBack();

    TForm1& window_;
    Form& form_;
    Ui& ui_;
    std::shared_ptr<PortSource> source_;
    PortInfo openedPort_;     // identity of the port opened last
    std::string openedPath_;  // its name as opened
    bool pathGone_ = false;   // that path was missing at a tick since the loss
    bool lost_ = false;    // a lost port is awaited
    std::string lostName_;
    std::string lostDuring_;
    bool lossBoxOpen_ = false;
    bool reconnectAutomatically_ = true;
    bool reconnecting_ = false;
    bool reconnectShown_ = false;  // panel 1 still shows "Reconnecting..."
};

}  // namespace quorvane
