// The few questions outside the serial line whose answer depends on the system:
// the running program's folder and the local time. Like the serial backend, one
// implementation per system (system_paths_posix.cpp, system_paths_windows.cpp).
#pragma once

#include <ctime>
#include <string>

namespace quorvane {

// The folder of the running program, ending in a separator; from `argv0` when the
// system cannot tell.
std::string ProgramDir(const char* argv0);

// `time` as local calendar time, thread-safe; false when it cannot be converted.
bool LocalTime(std::time_t time, std::tm& local);

}  // namespace quorvane
