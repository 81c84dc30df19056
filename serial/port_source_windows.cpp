// The system's ports on Windows: the registry's names. The registry tells nothing of
// the adapter behind a name, so a lost port is recognised again by its name.
#include "serial/port_list.h"

namespace quorvane {

std::unique_ptr<PortSource> MakeSystemPortSource() {
    return std::make_unique<FunctionPortSource>([] {
        std::vector<PortInfo> ports;
        for (std::string& name : ListSerialPorts()) {
            PortInfo info;
            info.name = std::move(name);
            ports.push_back(std::move(info));
        }
        return ports;
    });
}

}  // namespace quorvane
