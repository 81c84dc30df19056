#include <filesystem>

#include "serial/system_paths.h"

namespace quorvane {

std::string ProgramDir(const char* argv0) {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    return exe.parent_path().string() + "/";
}

bool LocalTime(std::time_t time, std::tm& local) { return ::localtime_r(&time, &local) != nullptr; }

}  // namespace quorvane
