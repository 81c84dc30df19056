// The system's serial ports, as the names the port box shows and CommName takes.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// The ports in natural order ("ttyS2" before "ttyS10"); empty when there are none.
std::vector<std::string> ListSerialPorts();
// The same, read from `ttyClassDir` in place of the system's tty class directory
// (/sys/class/tty on Linux).
std::vector<std::string> ListSerialPorts(const std::string& ttyClassDir);

}  // namespace quorvane
