// Serial ports on POSIX systems.
// - The list from sysfs: every tty with a device behind it. Virtual terminals, the
//   console and pseudo-terminals have none. The legacy "ttyS" ports exist whether or
//   not a UART answers; those whose UART type reads 0 (unknown) are left out.
// - Identity: on Linux the device database (libudev) knows the USB vendor, product
//   and serial number of each adapter; without it, or for ports it does not know,
//   the bare name is all there is.
// - Why an open failed: the device's owner group and the user's groups, and which
//   processes hold the device (/proc/<pid>/fd).
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(QUORVANE_HAVE_LIBUDEV)
#include <libudev.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "serial/port_list.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// --- the list ---

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Compares runs of digits by their value, everything else byte by byte.
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            std::string_view numA = a.substr(i, endA - i);
            std::string_view numB = b.substr(j, endB - j);
            const auto significant = [](std::string_view n) {
                const std::size_t first = n.find_first_not_of('0');
                return first == std::string_view::npos ? std::string_view{} : n.substr(first);
            };
            const std::string_view sigA = significant(numA);
            const std::string_view sigB = significant(numB);
            if (sigA.size() != sigB.size()) return sigA.size() < sigB.size();
            if (sigA != sigB) return sigA < sigB;
            if (numA.size() != numB.size()) return numA.size() < numB.size();
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool HasDevice(const fs::path& entry) {
    std::error_code error;
    return fs::exists(fs::symlink_status(entry / "device", error));
}

// A legacy port without a UART reports type 0; an unreadable type counts as present.
bool UartPresent(const fs::path& entry) {
    std::ifstream type(entry / "type");
    int value = -1;
    if (!(type >> value)) return true;
    return value != 0;
}

// --- identity ---

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

// --- open failures ---

std::string UserName() {
    if (const passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
    return "uid " + std::to_string(::geteuid());
}

std::string GroupName(gid_t gid) {
    if (const group* gr = ::getgrgid(gid)) return gr->gr_name;
    return "gid " + std::to_string(gid);
}

bool InGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<std::size_t>(i)] == gid) return true;
    }
    return false;
}

std::string CommandName(const fs::path& processDir) {
    std::ifstream comm(processDir / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// The number N of a pseudo-terminal's /dev/pts/N; nothing for other devices.
std::optional<int> PtyIndex(const std::string& path) {
    const std::string prefix = "/dev/pts/";
    if (!path.starts_with(prefix) || path.size() == prefix.size() ||
        path.find_first_not_of("0123456789", prefix.size()) != std::string::npos) {
        return std::nullopt;
    }
    try {
        return std::stoi(path.substr(prefix.size()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// True when the process holds the master side of pseudo-terminal `index`: the far
// end of the line (a simulated tracker, say), not a second reader of it.
bool HoldsPtyMaster(const fs::path& processDir, int index) {
    std::error_code error;
    fs::directory_iterator fds(processDir / "fd", error);
    for (; !error && fds != fs::directory_iterator(); fds.increment(error)) {
        std::error_code linkError;
        if (fs::read_symlink(fds->path(), linkError).filename() != "ptmx" || linkError) continue;
        std::ifstream info(processDir / "fdinfo" / fds->path().filename());
        for (std::string line; std::getline(info, line);) {
            if (line.starts_with("tty-index:") && std::atoi(line.c_str() + 10) == index) return true;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> ListSerialPorts() { return ListSerialPorts("/sys/class/tty"); }

std::vector<std::string> ListSerialPorts(const std::string& ttyClassDir) {
    std::vector<std::string> ports;
    std::error_code error;
    fs::directory_iterator it(ttyClassDir, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        if (!HasDevice(entry)) continue;
        if (name.starts_with("ttyS") && !UartPresent(entry)) continue;
        ports.push_back(name);
    }
    std::sort(ports.begin(), ports.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return ports;
}

std::unique_ptr<PortSource> MakeSystemPortSource() {
#if defined(QUORVANE_HAVE_LIBUDEV)
    return std::make_unique<UdevPortSource>();
#else
    return std::make_unique<NamePortSource>();
#endif
}

std::vector<PortHolder> FindPortHolders(const std::string& path, const std::string& procDir) {
    std::vector<PortHolder> holders;
    std::error_code error;
    const fs::path target = fs::weakly_canonical(path, error);
    if (error) return holders;
    fs::directory_iterator processes(procDir, error);
    for (; !error && processes != fs::directory_iterator(); processes.increment(error)) {
        const std::string pidText = processes->path().filename().string();
        if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code fdError;
        fs::directory_iterator fds(processes->path() / "fd", fdError);
        for (; !fdError && fds != fs::directory_iterator(); fds.increment(fdError)) {
            std::error_code linkError;
            const fs::path opened = fs::read_symlink(fds->path(), linkError);
            if (linkError || opened != target) continue;
            holders.push_back({std::stoi(pidText), CommandName(processes->path())});
            break;
        }
    }
    return holders;
}

std::vector<PortHolder> OtherPortHolders(const std::string& name) {
    const std::string path = name.find('/') == std::string::npos ? "/dev/" + name : name;
    std::vector<PortHolder> holders = FindPortHolders(path);
    const int self = static_cast<int>(::getpid());
    std::error_code error;
    const std::optional<int> pty = PtyIndex(fs::weakly_canonical(path, error).string());
    std::erase_if(holders, [self, pty](const PortHolder& h) {
        return h.pid == self || (pty && HoldsPtyMaster(fs::path("/proc") / std::to_string(h.pid), *pty));
    });
    return holders;
}

std::optional<int> LatencyTimerMs(const std::string& name, const std::string& ttyClassDir) {
    const std::string device = name.substr(name.rfind('/') + 1);
    std::ifstream in(fs::path(ttyClassDir) / device / "device" / "latency_timer");
    int milliseconds = -1;
    if (!(in >> milliseconds) || milliseconds < 0) return std::nullopt;
    return milliseconds;
}

std::string DescribeOpenFailure(const std::string& path, int error) {
    switch (error) {
    case EACCES:
    case EPERM: {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && !InGroup(info.st_gid)) {
            return NoPermissionText(path, GroupName(info.st_gid), UserName());
        }
        return "No permission to open " + path + ".";
    }
    case EBUSY:
    case EWOULDBLOCK:
        return BusyText(path, FindPortHolders(path));
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return NoSuchDeviceText(path);
    default:
        return "";
    }
}

}  // namespace quorvane
