#include "app/qt/station/station_runner.h"

#include <fstream>
#include <iterator>
#include <utility>

#include "station/line_ui.h"
#include "station/port_session.h"
#include "station/station.h"
#include "station/station_observer.h"
#include "station/trace_file.h"

namespace quorvane {
namespace {

// The last part of a text file, from a line start; empty when it cannot be read.
std::string FileTail(const std::string& path) {
    constexpr std::streamoff kLimit = std::streamoff{256} * 1024;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    const std::streamoff size = in.tellg();
    const std::streamoff from = size > kLimit ? size - kLimit : 0;
    in.seekg(from);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (from > 0) text.erase(0, text.find('\n') + 1);
    return text;
}

}  // namespace

// Runs on the station's thread: copies what it is told and posts it on.
class StationRunner::Observer : public StationObserver {
public:
    explicit Observer(StationRunner& runner) : runner_(runner) {}

    void PortLine(const std::string& port, LineKind, std::string_view text) override {
        std::string line(text);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (!runner_.running_) {
            // Before the loop runs: the reasons a job cannot start.
            std::lock_guard<std::mutex> lock(mutex_);
            startLines_ += line + '\n';
            return;
        }
        runner_.mailbox_.Post([this, port, line] { runner_.listener_.OnPortLine(port, line); });
    }
    std::unique_ptr<Ui> MakePortUi(const std::string&, std::ostream& err) override {
        return std::make_unique<LineUi>(err);
    }
    void PortStateChanged(const PortSession& session, PortState state) override {
        PortEvent e = EventOf(session, PortEvent::Kind::State);
        e.state = state;
        Post(std::move(e));
    }
    void PortProgress(const PortSession& session, int done, int total) override {
        PortEvent e = EventOf(session, PortEvent::Kind::Progress);
        e.done = done;
        e.total = total;
        Post(std::move(e));
    }
    void RunEnded(const PortSession& session, const PortRecord& record) override {
        PortEvent e = EventOf(session, PortEvent::Kind::Ended);
        e.record = record;
        e.state = record.last.result == PortResult::Completed ? PortState::Done : PortState::Failed;
        // Read here: the port's next look for a tracker starts its traffic file afresh.
        if (runner_.job_.trace) e.traffic = FileTail(TracePath(*runner_.job_.trace, e.port, runner_.several_));
        Post(std::move(e));
    }

    std::string TakeStartLines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(startLines_, {});
    }

private:
    static PortEvent EventOf(const PortSession& session, PortEvent::Kind kind) {
        PortEvent e;
        e.kind = kind;
        e.port = session.Port();
        e.imei = session.Outcome().imei;
        e.sn = session.Outcome().sn;
        e.firmware = session.Outcome().firmware;
        return e;
    }
    void Post(PortEvent e) {
        runner_.mailbox_.Post([this, e = std::move(e)] { runner_.listener_.OnPortEvent(e); });
    }

    StationRunner& runner_;
    std::mutex mutex_;
    std::string startLines_;
};

StationRunner::StationRunner(StationJob job, std::string programDir, StationListener& listener)
    : job_(std::move(job)),
      programDir_(std::move(programDir)),
      listener_(listener),
      observer_(std::make_unique<Observer>(*this)) {}

StationRunner::~StationRunner() { StopNowAndWait(); }

bool StationRunner::Start(std::string& error) {
    if (station_) return false;
    station_ = std::make_unique<Station>(job_, *observer_, programDir_);
    several_ = station_->SeveralPorts();
    if (!station_->Start()) {
        error = observer_->TakeStartLines();
        station_.reset();
        return false;
    }
    running_ = true;
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void StationRunner::Stop() {
    ++stops_;
    if (stops_ == 1) {
        stop_ = true;
    } else {
        stopNow_ = true;
    }
}

void StationRunner::StopNowAndWait() {
    stopNow_ = true;
    if (thread_.joinable()) thread_.join();
}

void StationRunner::AddPort(const std::string& port) {
    std::lock_guard<std::mutex> lock(addMutex_);
    added_.push_back(port);
}

void StationRunner::Loop() {
    Station& station = *station_;
    for (;;) {
        if (stop_.exchange(false)) station.RequestStop();
        if (stopNow_.exchange(false)) station.StopNow();
        {
            std::lock_guard<std::mutex> lock(addMutex_);
            for (const std::string& port : added_) station.AddPort(port);
            added_.clear();
        }
        several_ = station.SeveralPorts();
        if (!station.Step(Clock::now())) break;
        station.WaitForWork();
    }
    const int status = station.ExitStatus();
    running_ = false;
    mailbox_.Post([this, status] { listener_.OnStationEnded(status); });
}

}  // namespace quorvane
