// The words for a lost port: what was in flight when the line went, and the one box
// that tells the technician.
#pragma once

#include <string>

#include "link/engine.h"

namespace quorvane {

// What the engine was doing, in the window's words: "Read All", "Write All",
// "Read GPRS", "Write Main", "Default", "Clear SMS Buffer", ..., "the Device ID
// read", "connecting" (the poll runs and no answer came yet), or "" when idle.
std::string InFlightName(const EngineState& state, bool connected);

// What is in flight while a backup, verification or compare reads beside the window.
inline constexpr const char* kBackgroundRead = "a background read (backup, verification or compare)";

// "The port ttyUSB0 was lost during Read All; the groups read so far are in the
// window", and the like for the other operations.
std::string PortLostText(const std::string& port, const std::string& during);

}  // namespace quorvane
