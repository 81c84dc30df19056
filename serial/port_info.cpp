// Port descriptions, the port watcher and the open-failure texts: what needs no
// system call.
#include <utility>

#include "serial/port_list.h"

namespace quorvane {

std::string PortInfo::Description() const {
    std::string text = vendor;
    if (!product.empty()) text += (text.empty() ? "" : " ") + product;
    if (!serialNumber.empty()) text += (text.empty() ? "serial " : ", serial ") + serialNumber;
    return text;
}

std::string PortInfo::DisplayText() const {
    const std::string description = Description();
    return description.empty() ? name : name + "  (" + description + ")";
}

bool PortInfo::SameDevice(const PortInfo& other) const {
    if (!serialNumber.empty()) {
        // A serial number is unique per adapter; vendor and product ids guard against
        // two makers using the same short numbers.
        return serialNumber == other.serialNumber && vendorId == other.vendorId &&
               productId == other.productId;
    }
    return other.serialNumber.empty() && name == other.name;
}

bool PortWatcher::Poll() {
    std::vector<PortInfo> now = source_.List();
    const bool changed = !polled_ || now != ports_;
    polled_ = true;
    ports_ = std::move(now);
    return changed;
}

std::vector<PortInfo> BarePorts(std::vector<std::string> names) {
    std::vector<PortInfo> ports;
    ports.reserve(names.size());
    for (std::string& name : names) {
        PortInfo info;
        info.name = std::move(name);
        ports.push_back(std::move(info));
    }
    return ports;
}

std::string NoPermissionText(const std::string& path, const std::string& group, const std::string& user) {
    return "No permission to open " + path + ": it belongs to the group \"" + group + "\" and the user \"" +
           user + "\" is not a member of it. Add the user to that group (sudo usermod -aG " + group + " " +
           user + "), then log out and in again.";
}

std::string BusyText(const std::string& path, const std::vector<PortHolder>& holders) {
    std::string text = path + " is busy: another program has it open";
    if (holders.empty()) return text + ".";
    text += " (";
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (i > 0) text += ", ";
        text += holders[i].program.empty() ? std::string("a program") : holders[i].program;
        text += " with process id " + std::to_string(holders[i].pid);
    }
    text += "). Close it";
    for (const PortHolder& holder : holders) {
        if (holder.program == "ModemManager") {
            text += "; a modem manager probes new ports for a while after they appear, so waiting a few "
                    "seconds may be enough";
            break;
        }
    }
    return text + ".";
}

std::string NoSuchDeviceText(const std::string& path) {
    return "No such device: " + path + " does not exist (the adapter may be unplugged, or it appeared under "
           "another name).";
}

std::string SecondReaderText(const std::string& name, const std::vector<PortHolder>& holders) {
    if (holders.empty()) {
        return "Nothing came back on " + name +
               ": the tracker may be off or not connected, or another program may be reading the port and "
               "taking its answers.";
    }
    std::string text = "Another program may be reading " + name + " and taking the tracker's answers: ";
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (i > 0) text += ", ";
        text += holders[i].program.empty() ? std::string("a program") : holders[i].program;
        text += " with process id " + std::to_string(holders[i].pid);
    }
    return text + ". Close it, then try again.";
}

std::string LatencyTimerText(const std::string& name, int milliseconds) {
    std::string text = name + ": latency timer " + std::to_string(milliseconds) + " ms";
    if (milliseconds <= 1) return text;
    const std::string device = name.substr(name.rfind('/') + 1);
    return text + " (the adapter holds every answer up to " + std::to_string(milliseconds) +
           " ms; the editor asks the driver for low latency when it opens the port, and "
           "echo 1 | sudo tee /sys/bus/usb-serial/devices/" + device +
           "/latency_timer sets 1 ms until the adapter is plugged in again)";
}

}  // namespace quorvane
