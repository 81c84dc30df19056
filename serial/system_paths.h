// The few questions about the running program whose answer depends on the system.
// Like the serial backend, one implementation per system (system_paths_posix.cpp,
// system_paths_windows.cpp).
#pragma once

#include <string>

namespace quorvane {

// The folder of the running program, ending in a separator; from `argv0` when the
// system cannot tell.
std::string ProgramDir(const char* argv0);

}  // namespace quorvane
