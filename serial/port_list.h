// The system's serial ports, as the names the port box shows and CommName takes.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// The ports, empty when there are none: on Linux in natural order ("ttyS2" before
// "ttyS10"), on Windows in the registry's order.
std::vector<std::string> ListSerialPorts();
// The same, read from `source` in place of the system's: a tty class directory on
// Linux (/sys/class/tty), an ASCII key path below HKEY_CURRENT_USER on Windows.
std::vector<std::string> ListSerialPorts(const std::string& source);

}  // namespace quorvane
