// Serial ports from sysfs: every tty with a device behind it. Virtual terminals,
// the console and pseudo-terminals have none. The legacy "ttyS" ports exist
// whether or not a UART answers; those whose UART type reads 0 (unknown) are left out.
#include "serial/port_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

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

}  // namespace quorvane
