// Why a port could not be opened, in a technician's words. The texts come beside
// the component's own message ("Error opening serial port"), never instead of it.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

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

// The processes that have `path` open, found through /proc/<pid>/fd; empty where
// the system does not tell (another user's processes are not readable).
std::vector<PortHolder> FindPortHolders(const std::string& path, const std::string& procDir = "/proc");

// The detail for an open of `path` that failed with the system error `error`
// (errno): one of the texts above, or "" when there is nothing more to say.
std::string DescribeOpenFailure(const std::string& path, int error);

}  // namespace quorvane
