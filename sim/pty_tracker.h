// A simulated tracker on a pseudo-terminal: the editor opens the slave side as its
// serial port, and a thread of this object answers on the master side.
#pragma once

#include <atomic>
#include <memory>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/frame_assembler.h"
#include "link/traffic.h"
#include "sim/fault.h"
#include "sim/simulator.h"
#include "sim/tracker_state.h"

namespace quorvane::sim {

// 115200 baud, 10 bits per byte on the line.
inline constexpr int kWireBytesPerSecond = 11520;
// Throttled answers go out in chunks of this many bytes, each at its time on the wire.
inline constexpr std::size_t kWireChunk = 64;

struct PtyTrackerOptions {
    DeviceConfig device;
    std::string linkPath;   // when set, a symbolic link to the slave is made here
    std::string stateFile;  // when set, the state is loaded from and saved to this file
    bool throttle = false;  // send answers no faster than the wire carries them
    std::vector<FaultPlan> faults;
    // Trace lines (requests, answers, errors); called on the tracker's thread.
    std::function<void(std::string_view)> log;
    // When set: every frame and stray run on this side of the line, recorded on the
    // tracker's thread (read it after Stop, or through a listener). Times count
    // from the tracker's start.
    std::shared_ptr<TrafficRecorder> traffic;
};

class PtyTracker {
public:
    // Opens the pseudo-terminal, loads the state file (creating it when missing), makes
    // the link and starts answering. Throws std::runtime_error (EStateFileError for a
    // state file that cannot be read).
    explicit PtyTracker(PtyTrackerOptions options);
    ~PtyTracker();
    PtyTracker(const PtyTracker&) = delete;
    PtyTracker& operator=(const PtyTracker&) = delete;

    // Stops the thread (at once, also in the middle of an answer), removes the link.
    // Safe to call more than once.
    void Stop();
    // The adapter pulled out: stops and closes both sides of the pseudo-terminal, so
    // the editor's port hangs up and the device path goes away.
    void Unplug();

    // The device the editor opens, such as /dev/pts/7.
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& LinkPath() const { return options_.linkPath; }

    void InjectFault(const FaultPlan& plan);
    void InjectFault(Fault fault, int count = 1, std::optional<std::uint8_t> command = std::nullopt) {
        InjectFault(FaultPlan{fault, count, command});
    }
    void ClearFaults();

    TrackerState State() const;
    void SetState(TrackerState state);
    // Runs `work` on the simulator under the tracker's lock; a change it makes to the
    // state is saved like any other.
    void WithSimulator(const std::function<void(Simulator&)>& work);

    // Requests received since the last call, oldest first.
    std::vector<Request> TakeRequests();
    // Answers (and boot texts) written so far, and the bytes in them.
    std::uint64_t AnswersSent() const { return answersSent_; }
    std::uint64_t BytesSent() const { return bytesSent_; }
    // The last error met while writing the state file, empty when none.
    std::string LastError() const;

private:
    void Run();
    void Process(std::span<const std::uint8_t> bytes);
    void Transmit(const Transmission& transmission);
    bool WaitFor(std::chrono::steady_clock::duration span);     // false when stopping
    bool WaitWritable(std::chrono::steady_clock::duration span);  // false when stopping or timed out
    void SaveIfChanged();  // with mutex_ held
    void Log(const std::string& line) const;
    void MakeLink();
    void RemoveLink();

    PtyTrackerOptions options_;
    Simulator simulator_;
    mutable std::mutex mutex_;
    std::deque<Request> requests_;
    std::uint64_t savedRevision_ = 0;
    std::string lastError_;

    int master_ = -1;
    int slave_ = -1;  // kept open so that the editor's close does not hang up the line
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string slavePath_;
    bool linkMade_ = false;

    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> answersSent_{0};
    std::atomic<std::uint64_t> bytesSent_{0};
    // When the last request byte received so far would have arrived on a real line
    // (throttled only; the tracker's own thread).
    std::chrono::steady_clock::time_point receivedBy_{};
    // Received bytes cut into rows for options_.traffic (the tracker's thread).
    FrameAssembler received_;
    std::thread thread_;
};

}  // namespace quorvane::sim
