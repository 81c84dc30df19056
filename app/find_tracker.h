// "Find Tracker": the connect request on every listed port that opens (and on ports
// the user names), at once, and
// within two seconds the ports where a tracker answered, with its IMEI, serial
// number and firmware, and the ports that could not be opened with the reason.
//
// Runs on its owner's thread: the owner drains the mailbox and calls Poll (the window
// from a timer, the command line from its loop) until Done.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "seams/form.h"
#include "link/tracker_probe.h"
#include "serial/mailbox.h"
#include "serial/port_list.h"

namespace quorvane {

struct FindResult {
    enum class Outcome {
        Tracker,     // a connect answer came
        NoAnswer,    // opened, nothing answered within the time
        OpenFailed,  // could not be opened: see `reason`
    };
    PortInfo port;
    Outcome outcome = Outcome::NoAnswer;
    std::string firmware;
    std::string imei;
    std::string serialNumber;
    bool authAccepted = false;  // the tracker accepted the authorization code
    std::string reason;         // OpenFailed: the component's message and the detail;
                                // NoAnswer: "port lost" when the port went away
    // One line: "ttyUSB0: tracker, IMEI 860..., serial QV..., firmware QV-KR420-V2.1.7",
    // "ttyS0: no answer", "ttyUSB1: Error opening serial port (busy: ...)".
    std::string Text() const;
};

// Whether two names give the same port ("ttyUSB0" and "/dev/ttyUSB0").
bool SamePortName(const std::string& a, const std::string& b);

// The ports a search asks: the listed ones, then each of `typed` (the port box's
// text, paths the user added) that names none of them. Blank names and "None" are
// left out; nothing is asked twice.
std::vector<PortInfo> PortsToAsk(std::vector<PortInfo> listed, const std::vector<std::string>& typed);

class TrackerFinder {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kAnswerWindow{2000};

    // The connect request carries the AuthCode box of `form` (read at Start).
    TrackerFinder(Mailbox& mailbox, const Form& form);
    ~TrackerFinder();  // closes every port still open
    TrackerFinder(const TrackerFinder&) = delete;
    TrackerFinder& operator=(const TrackerFinder&) = delete;

    // Opens every port and sends the connect request on each that opened. Throws
    // EConvertError for an AuthCode that is not an integer (nothing opened then).
    void Start(const std::vector<PortInfo>& ports);
    // Closes ports that have answered; after the answer window closes them all.
    // True once every port has its outcome.
    bool Poll();
    bool Done() const { return done_; }
    // In the order of Start's list.
    const std::vector<FindResult>& Results() const { return results_; }

    void SetClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }

private:
    Mailbox& mailbox_;
    const Form& form_;
    std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };
    Clock::time_point deadline_{};
    // One per result, in the same order.
    std::vector<std::unique_ptr<TrackerProbe>> probes_;
    std::vector<FindResult> results_;
    bool done_ = true;
};

}  // namespace quorvane
