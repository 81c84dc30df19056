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

}  // namespace quorvane
