// The simulated tracker's state as a text file, so that a tracker keeps its
// configuration between runs:
//
//   quorvane-sim state 1
//   mileage 123456
//   buffer sms 3 100          (also gprs1, gprs2, gps-log: stored, capacity)
//   rfid 0012345678           (one line per authorized ID)
//   area 1 00FF...            (each area's bytes in hexadecimal)
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "sim/tracker_state.h"

namespace quorvane::sim {

// A state file that cannot be read or does not hold a whole, valid state.
class EStateFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string SerializeState(const TrackerState& state);
// Throws EStateFileError naming the line at fault.
TrackerState ParseState(std::string_view text);

// Throws EStateFileError when the file cannot be read or is not valid.
TrackerState LoadStateFile(const std::string& path);
// Writes a temporary file beside `path` and renames it over `path`, so the file is
// always either the old state or the new one. Throws EStateFileError.
void SaveStateFile(const std::string& path, const TrackerState& state);

}  // namespace quorvane::sim
