// The core station, run for the window: the same Station, stages and record as the
// command line's, stepped by a loop of its own thread exactly as quorvane-cli steps
// it, so the window's event loop never waits on a port. What the station reports
// is copied on that thread and handed to a listener on the window's thread, in
// order, through the window's mailbox.
#pragma once

#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/qt/qt_mailbox.h"
#include "station/port_outcome.h"
#include "station/station_job.h"

namespace quorvane {

class Station;
class StationObserver;

// One report about a port, copied off the station's thread.
struct PortEvent {
    enum class Kind { State, Progress, Ended };
    Kind kind = Kind::State;
    std::string port;
    PortState state = PortState::Waiting;
    int done = 0;   // Progress: blocks acknowledged
    int total = 0;  // Progress: blocks of the operation
    std::string imei;
    std::string sn;
    std::string firmware;
    PortRecord record;  // Ended: the port's record after this run
    std::string traffic;  // Ended: the end of the run's traffic rows, as text
};

// Told on the window's thread.
class StationListener {
public:
    virtual ~StationListener() = default;
    virtual void OnPortEvent(const PortEvent& event) = 0;
    // One line of a port's output (status, notice, error, values), its line end removed.
    virtual void OnPortLine(const std::string& port, const std::string& line) = 0;
    virtual void OnStationEnded(int exitStatus) = 0;
};

class StationRunner {
public:
    StationRunner(StationJob job, std::string programDir, StationListener& listener);
    // Ends every run in flight at once (with its record) and waits for the loop.
    ~StationRunner();
    StationRunner(const StationRunner&) = delete;
    StationRunner& operator=(const StationRunner&) = delete;

    // Reads the job's files and tries its values before any port is touched; on
    // success the loop starts on its own thread. Otherwise nothing runs and
    // `error` holds the reasons, one a line.
    bool Start(std::string& error);
    bool Running() const { return running_; }

    // First call: operations in flight finish or time out, nothing new starts.
    // Second call: they end at once.
    void Stop();
    int StopRequests() const { return stops_; }
    // Ends them at once, and waits (bounded by one turn of the loop) for the end.
    void StopNowAndWait();
    // A port that appeared during the run.
    void AddPort(const std::string& port);

    const StationJob& Job() const { return job_; }
    // Whether the station names each port's trace file after the port.
    bool SeveralPorts() const { return several_; }

private:
    class Observer;
    void Loop();

    const StationJob job_;
    std::string programDir_;
    StationListener& listener_;
    QtMailbox mailbox_;
    std::unique_ptr<Observer> observer_;
    std::unique_ptr<Station> station_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> stopNow_{false};
    std::atomic<bool> several_{false};
    int stops_ = 0;
    std::mutex addMutex_;
    std::vector<std::string> added_;
};

}  // namespace quorvane
