// The system's ports with their identity. On Linux the device database (libudev)
// knows the USB vendor, product and serial number of each adapter; without it, or
// for ports it does not know, the bare name is all there is.
#include <memory>
#include <utility>

#include "serial/port_list.h"

#if defined(QUORVANE_HAVE_LIBUDEV)
#include <libudev.h>
#endif

namespace quorvane {
namespace {

#if defined(QUORVANE_HAVE_LIBUDEV)

std::string Text(const char* value) { return value != nullptr ? std::string(value) : std::string(); }

// The database's names use "\x20" escapes and underscores for blanks.
std::string Readable(std::string text) {
    for (char& c : text) {
        if (c == '_') c = ' ';
    }
    return text;
}

class UdevPortSource final : public PortSource {
public:
    UdevPortSource() : udev_(udev_new()) {}
    ~UdevPortSource() override {
        if (udev_ != nullptr) udev_unref(udev_);
    }
    UdevPortSource(const UdevPortSource&) = delete;
    UdevPortSource& operator=(const UdevPortSource&) = delete;

    std::vector<PortInfo> List() override {
        std::vector<PortInfo> ports;
        for (const std::string& name : ListSerialPorts()) ports.push_back(Identify(name));
        return ports;
    }

private:
    PortInfo Identify(const std::string& name) const {
        PortInfo info;
        info.name = name;
        if (udev_ == nullptr) return info;
        udev_device* device = udev_device_new_from_subsystem_sysname(udev_, "tty", name.c_str());
        if (device == nullptr) return info;
        // Properties the device manager stored (present where it runs) ...
        info.serialNumber = Text(udev_device_get_property_value(device, "ID_SERIAL_SHORT"));
        info.vendor = Text(udev_device_get_property_value(device, "ID_VENDOR_FROM_DATABASE"));
        if (info.vendor.empty()) info.vendor = Readable(Text(udev_device_get_property_value(device, "ID_VENDOR")));
        info.product = Text(udev_device_get_property_value(device, "ID_MODEL_FROM_DATABASE"));
        if (info.product.empty()) info.product = Readable(Text(udev_device_get_property_value(device, "ID_MODEL")));
        info.vendorId = Text(udev_device_get_property_value(device, "ID_VENDOR_ID"));
        info.productId = Text(udev_device_get_property_value(device, "ID_MODEL_ID"));
        // ... else the USB device's own attributes in sysfs.
        if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
            const auto fill = [usb](std::string& field, const char* attribute) {
                if (field.empty()) field = Text(udev_device_get_sysattr_value(usb, attribute));
            };
            fill(info.serialNumber, "serial");
            fill(info.vendor, "manufacturer");
            fill(info.product, "product");
            fill(info.vendorId, "idVendor");
            fill(info.productId, "idProduct");
        }
        udev_device_unref(device);
        return info;
    }

    udev* udev_;
};

#endif

class NamePortSource final : public PortSource {
public:
    std::vector<PortInfo> List() override { return BarePorts(ListSerialPorts()); }
};

}  // namespace

std::unique_ptr<PortSource> MakeSystemPortSource() {
#if defined(QUORVANE_HAVE_LIBUDEV)
    return std::make_unique<UdevPortSource>();
#else
    return std::make_unique<NamePortSource>();
#endif
}

}  // namespace quorvane
