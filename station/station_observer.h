// What a front end is told while a station runs: each port's output lines, its
// state, each run's end with its record, and the end of the whole station.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "seams/ui.h"
#include "station/port_lines.h"
#include "station/port_outcome.h"

namespace quorvane {

class PortSession;

class StationObserver {
public:
    virtual ~StationObserver() = default;

    // A line of a port's output, its line end included (a last line may lack one).
    // `port` is empty for lines of the station as a whole (a job that cannot start).
    virtual void PortLine(const std::string& port, LineKind kind, std::string_view text) = 0;
    // What shows a port's status, notices and errors to the user; `err` takes the
    // port's error-kind lines.
    virtual std::unique_ptr<Ui> MakePortUi(const std::string& port, std::ostream& err) = 0;
    // A port's run moved on; the session tells the port, the tracker's identity once
    // connected, and the last message.
    virtual void PortStateChanged(const PortSession& /*session*/, PortState /*state*/) {}
    // A block of the command's read or write was acknowledged: `done` of `total`.
    virtual void PortProgress(const PortSession& /*session*/, int /*done*/, int /*total*/) {}
    // A port's run ended; the session is still there to read.
    virtual void RunEnded(const PortSession& /*session*/, const PortRecord& /*record*/) {}
    // Repeat: the device of `port` went away (`reason`, where known); the port is
    // tried each second until it is back. Told once per absence.
    virtual void PortWaiting(const std::string& /*port*/, const std::string& /*reason*/) {}
    // Every run ended: one line per port, or with repeat per tracker served.
    virtual void StationEnded(const std::vector<PortRecord>& /*lines*/) {}
};

}  // namespace quorvane
