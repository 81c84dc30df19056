// Why an open failed, from what a POSIX system tells: the device's owner group and
// the user's groups, and which processes hold the device (/proc/<pid>/fd).
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "serial/open_failure.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

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
