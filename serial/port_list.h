// The system's serial ports, as the names the port box shows and CommName takes,
// what the system knows about each (USB vendor, product, serial number), and why one
// could not be opened. port_info.cpp is plain C++; port_list_posix.cpp and
// port_list_windows.cpp ask the system.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// The ports, empty when there are none: on Linux in natural order ("ttyS2" before
// "ttyS10"), on Windows in the registry's order.
std::vector<std::string> ListSerialPorts();
// The same, read from `source` in place of the system's: a tty class directory on
// Linux (/sys/class/tty), an ASCII key path below HKEY_CURRENT_USER on Windows.
std::vector<std::string> ListSerialPorts(const std::string& source);

// One port and what the system tells about it; every field but `name` may be empty.
struct PortInfo {
    std::string name;          // what Open takes: "ttyUSB0", or a path such as /dev/pts/3
    std::string vendor;        // USB vendor name, "Acme"
    std::string product;       // USB product name, "USB Serial"
    std::string serialNumber;  // USB serial number, "A10KXYZ1"
    std::string vendorId;      // "abcd"
    std::string productId;     // "1234"

    // "Acme USB Serial, serial A10KXYZ1"; "" when nothing is known.
    std::string Description() const;
    // The drop-down's line: "ttyUSB0  (Acme USB Serial, serial A10KXYZ1)", or the
    // bare name when nothing is known.
    std::string DisplayText() const;
    // True when `other` is the same device: the same USB serial number where this
    // one has one, otherwise the same name.
    bool SameDevice(const PortInfo& other) const;

    bool operator==(const PortInfo&) const = default;
};

// Where port lists come from: the system, or a script in tests.
class PortSource {
public:
    virtual ~PortSource() = default;
    // The ports now present, in natural order.
    virtual std::vector<PortInfo> List() = 0;
};

// Ports known by their names alone, where the system tells nothing more.
std::vector<PortInfo> BarePorts(std::vector<std::string> names);

// The system's ports with their identity: names from ListSerialPorts, identity from
// the device database where the system has one (libudev on Linux), else the bare name.
std::unique_ptr<PortSource> MakeSystemPortSource();

// A PortSource that answers with whatever a function returns (tests, tools).
class FunctionPortSource final : public PortSource {
public:
    explicit FunctionPortSource(std::function<std::vector<PortInfo>()> list) : list_(std::move(list)) {}
    std::vector<PortInfo> List() override { return list_ ? list_() : std::vector<PortInfo>{}; }

private:
    std::function<std::vector<PortInfo>()> list_;
};

// Notices ports appearing and disappearing by comparing successive lists. Listing is
// cheap (one directory read plus a device-database look-up per port), so polling it
// once a second is enough for plugging and unplugging by hand.
class PortWatcher {
public:
    explicit PortWatcher(PortSource& source) : source_(source) {}
    // Lists again; true when the list differs from the previous one (the first call
    // always counts as a change).
    bool Poll();
    const std::vector<PortInfo>& Ports() const { return ports_; }

private:
    PortSource& source_;
    std::vector<PortInfo> ports_;
    bool polled_ = false;
};

// Why a port could not be opened, in a technician's words. The texts come beside
// the component's own message ("Error opening serial port"), never instead of it.

// A program holding a device open.
struct PortHolder {
    int pid = 0;
    std::string program;  // its command name, "ModemManager"
};

// No permission. `group` owns the device; `user` is not a member of it.
std::string NoPermissionText(const std::string& path, const std::string& group,
                             const std::string& user);
// In use by another program; `holders` may be empty when the system does not say.
std::string BusyText(const std::string& path, const std::vector<PortHolder>& holders);
// The device does not exist (any more).
std::string NoSuchDeviceText(const std::string& path);

// The processes that have `path` open, found through /proc/<pid>/fd (POSIX
// systems); empty where the system does not tell (another user's processes are
// not readable).
std::vector<PortHolder> FindPortHolders(const std::string& path, const std::string& procDir = "/proc");

// The processes other than this one that have the port `name` open ("ttyUSB0" as
// the list names it, or a device path); empty where the system does not tell.
std::vector<PortHolder> OtherPortHolders(const std::string& name);

// Answers that never came: another program may be reading the port and taking
// them. Names `holders` when known; without them, says so beside the plainer causes.
std::string SecondReaderText(const std::string& name, const std::vector<PortHolder>& holders);

// A USB adapter's latency timer in ms: how long it holds received bytes before it
// passes them on (the usb-serial device's latency_timer in `ttyClassDir`/NAME/device
// on Linux); nothing where the system has no such setting.
std::optional<int> LatencyTimerMs(const std::string& name, const std::string& ttyClassDir = "/sys/class/tty");

// The line `ports` shows for a latency timer, with a hint when it is above 1 ms.
std::string LatencyTimerText(const std::string& name, int milliseconds);

// The detail for an open of `path` that failed with the system error `error`
// (errno, POSIX systems): one of the texts above, or "" when there is nothing more
// to say.
std::string DescribeOpenFailure(const std::string& path, int error);

}  // namespace quorvane
