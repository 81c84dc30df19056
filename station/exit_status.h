// How a run ends, as a number: the command line's exit status.
#pragma once

namespace quorvane {

inline constexpr int kExitDone = 0;     // ended with its completion message
inline constexpr int kExitFailed = 1;   // started, but ended otherwise
inline constexpr int kExitNoStart = 2;  // could not start

}  // namespace quorvane
