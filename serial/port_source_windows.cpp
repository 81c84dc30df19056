// The system's ports on Windows: the registry's names. The registry tells nothing of
// the adapter behind a name, so a lost port is recognised again by its name.
#include "serial/port_list.h"

namespace quorvane {

std::unique_ptr<PortSource> MakeSystemPortSource() {
    return std::make_unique<FunctionPortSource>([] { return BarePorts(ListSerialPorts()); });
}

}  // namespace quorvane
