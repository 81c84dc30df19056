#include "station/station.h"

#include <algorithm>

#include "serial/port_list.h"
#include "station/escape.h"
#include "station/exit_status.h"
#include "station/stages.h"

namespace quorvane {
namespace {

constexpr auto kTick = std::chrono::milliseconds(10);
// Repeat: how long one look for a tracker waits for its connect answer, and the
// pause between looks at a port whose tracker was served or that cannot be opened.
constexpr auto kLookLimit = std::chrono::seconds(2);
constexpr auto kLookPause = std::chrono::seconds(1);

std::vector<std::string> ResolvePorts(const StationJob& job) {
    std::vector<std::string> ports;
    auto add = [&](const std::string& name) {
        if (std::find(ports.begin(), ports.end(), name) == ports.end()) ports.push_back(name);
    };
    for (const std::string& name : job.ports) {
        if (name == "all") {
            for (const std::string& listed : ListSerialPorts()) add(listed);
        } else {
            add(name);
        }
    }
    return ports;
}

}  // namespace

Station::Station(const StationJob& job, StationObserver& observer, std::string programDir, StationClock clock)
    : job_(job),
      observer_(observer),
      programDir_(std::move(programDir)),
      clock_(std::move(clock)),
      ports_(ResolvePorts(job)) {
    for (const std::string& port : ports_) records_.push_back(PortRecord{port, 0, {}, 0});
}

Station::~Station() = default;

SessionContext Station::Context(std::string lineName) {
    // Lines of the station as a whole (its trial of the job's values) are no port's.
    const bool perPort = !lineName.empty() && SeveralPorts();
    return SessionContext{programDir_, observer_, bell_, clock_, std::move(lineName), perPort};
}

void Station::StationLine(const std::string& text) { observer_.PortLine({}, LineKind::Err, text + '\n'); }

std::unique_ptr<PortSession> Station::MakeSession(Slot& slot) {
    const std::string& port = records_[slot.record].port;
    StagePlan plan;
    plan.perTracker = perTracker_ ? &*perTracker_ : nullptr;
    if (job_.repeat) {
        // Looking for the next tracker: short, quiet connect attempts, and a tracker
        // served already only once it has been away.
        plan.connectLimit = kLookLimit;
        plan.quietConnect = true;
        plan.admit = [&slot](const PortOutcome& o) { return slot.away || o.imei != slot.lastImei; };
        plan.askPause = kLookPause;
        plan.askLimit = kLookLimit;
    }
    return std::make_unique<PortSession>(job_, port, Context(port), MakeStages(job_, plan));
}

bool Station::Start() {
    if (records_.empty()) {
        StationLine("error: no serial port found");
        noStart_ = kExitNoStart;
    } else if (!OpenFiles() || !CommandCanStart()) {
        noStart_ = kExitNoStart;
    }
    if (noStart_) {
        finished_ = true;
        return false;
    }
    std::vector<std::size_t> all(records_.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    BeginRound(all);
    return true;
}

bool Station::CommandCanStart() {
    // The settings file and the values are the same for every port: when they do
    // not fit, the command cannot start, and no port is opened.
    PortSession trial(job_, records_.front().port, Context({}), StageList{});
    return trial.Prepare();
}

void Station::BeginRound(const std::vector<std::size_t>& records) {
    const auto now = clock_();
    slots_.clear();
    slots_.resize(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        slots_[i].record = records[i];
        slots_[i].startAt = now;
    }
    nextTick_ = now + kTick;
    ticked_ = false;
}

void Station::RoundEnded() {
    slots_.clear();
    // Failed ports again, after every other port is done.
    if (!job_.repeat && !stopRequested_ && retriesDone_ < job_.retry) {
        std::vector<std::size_t> round;
        for (std::size_t i = 0; i < records_.size(); ++i) {
            if (WorthRetry(records_[i].last)) round.push_back(i);
        }
        if (!round.empty()) {
            ++retriesDone_;
            BeginRound(round);
            return;
        }
    }
    Finish();
}

void Station::Finish() {
    finished_ = true;
    observer_.StationEnded(job_.repeat ? served_ : records_);
}

bool Station::Step(Clock::time_point now) {
    if (finished_) return false;
    for (Slot& slot : slots_) {
        if (slot.session) slot.session->Drain();
    }
    if (!StepSlots(now)) {
        RoundEnded();
        return !finished_;
    }
    ticked_ = now >= nextTick_;
    if (ticked_) {
        for (Slot& slot : slots_) {
            if (slot.session) slot.session->Tick();
        }
        nextTick_ += kTick;
    }
    return true;
}

void Station::AddPort(const std::string& port) {
    if (finished_ || stopRequested_ || std::find(ports_.begin(), ports_.end(), port) != ports_.end()) return;
    ports_.push_back(port);
    records_.push_back(PortRecord{port, 0, {}, 0});
    Slot& slot = slots_.emplace_back();
    slot.record = records_.size() - 1;
    slot.startAt = clock_();
}

void Station::WaitForWork() {
    if (ticked_ || finished_) return;
    bell_.WaitUntil(nextTick_ + std::chrono::milliseconds(1));
}

void Station::StopNow() {
    stopRequested_ = true;
    const auto now = clock_();
    for (Slot& slot : slots_) {
        slot.startAt.reset();
        if (!slot.session) continue;
        if (!slot.session->Started() || slot.session->Looking()) {
            slot.session.reset();
            continue;
        }
        slot.session->Interrupt(now);
        SessionEnded(slot, now);
        slot.session.reset();
    }
}

bool Station::StepSlots(Clock::time_point now) {
    const bool stopping = stopRequested_;
    bool busy = false;
    for (Slot& slot : slots_) {
        if (!slot.session && slot.startAt && !stopping && now >= *slot.startAt) {
            slot.startAt.reset();
            slot.session = MakeSession(slot);
            if (slot.session->Prepare()) {
                slot.session->Start(now);
            } else {
                slot.session->Fail(PortResult::NoStart);
            }
        }
        if (!slot.session) {
            busy = busy || (slot.startAt && !stopping);
            continue;
        }
        // Stopping: a port still looking for its tracker has written nothing.
        if (stopping && slot.session->Looking()) {
            slot.session.reset();
            continue;
        }
        slot.session->Step(now);
        if (slot.session->Finished() || !slot.session->Started()) {
            SessionEnded(slot, now);
            slot.session.reset();
        }
        busy = busy || slot.session || (slot.startAt && !stopping);
    }
    return busy;
}

void Station::SessionEnded(Slot& slot, Clock::time_point now) {
    PortSession& session = *slot.session;
    PortRecord& record = records_[slot.record];
    if (!job_.repeat) {
        RunEnded(session, record);
        return;
    }
    if (!session.Quiet()) {
        record.attempts = 0;  // every tracker is its own first attempt
        RunEnded(session, record);
        served_.push_back(record);
    }
    RepeatEnded(slot, session, now);
}

void Station::RepeatEnded(Slot& slot, const PortSession& session, Clock::time_point now) {
    const PortOutcome& outcome = session.Outcome();
    // A run that could not start here (its trace file, say) would fail the same way
    // again: this port is done.
    if (!session.Quiet() && outcome.result == PortResult::NoStart && outcome.imei.empty()) return;
    if (!outcome.imei.empty() && !session.Quiet()) {
        slot.lastImei = outcome.imei;
        slot.away = false;
    }
    const bool gone = session.PortLost() || outcome.result == PortResult::NotOpened;
    if (gone || outcome.result == PortResult::NoAnswer) slot.away = true;  // whoever answers next is new
    if (!gone) {
        slot.waiting = false;
        // Looked again at once, so that the port is watched while its tracker stays.
        slot.startAt = now;
        return;
    }
    // The device went away: tried again each second until it is back.
    if (!slot.waiting) {
        slot.waiting = true;
        observer_.PortWaiting(records_[slot.record].port, outcome.message);
    }
    slot.startAt = now + kLookPause;
}

bool Station::OpenFiles() {
    try {
        if (job_.perTracker) perTracker_ = TrackerTable::Load(*job_.perTracker);
        if (job_.report) recordFile_ = std::make_unique<RecordFile>(*job_.report);
    } catch (const std::runtime_error& e) {  // ETrackerTable, ERecordFile
        StationLine("error: " + EscapeValue(e.what()));
        return false;
    }
    return true;
}

void Station::RunEnded(PortSession& session, PortRecord& record) {
    ++record.attempts;
    record.last = session.Outcome();
    record.lastExitStatus = session.ExitStatus();
    if (recordFile_) {
        try {
            recordFile_->Append(RecordOf(job_, record.port, record.last, record.attempts));
        } catch (const ERecordFile& e) {
            // A tracker that is not written down is not accounted for: it counts as
            // failed, and no further tracker is taken on.
            const std::string why = "record not written: " + EscapeValue(e.what());
            session.Err() << "error: " << why << '\n' << std::flush;
            const bool more = job_.repeat || SeveralPorts() || job_.retry > 0;
            if (!recordFailed_ && more) {
                StationLine("error: the station takes on no further tracker: its record cannot be written");
            }
            recordFailed_ = true;
            stopRequested_ = true;
            record.last.result = PortResult::Failed;
            record.last.message = why;
            record.lastExitStatus = kExitFailed;
            session.Outcome().result = PortResult::Failed;
            session.Outcome().message = why;
        }
    }
    observer_.RunEnded(session, record);
}

int Station::ExitStatus() const {
    if (noStart_) return *noStart_;
    if (job_.repeat) {
        const bool allCompleted = std::all_of(served_.begin(), served_.end(), [](const PortRecord& r) {
            return r.last.result == PortResult::Completed;
        });
        return allCompleted && !recordFailed_ ? kExitDone : kExitFailed;
    }
    if (!SeveralPorts() || job_.command == JobCommand::Diff) {
        // One port's own status; diff takes the worst port's (2 not compared, 1 differs).
        int status = kExitDone;
        for (const PortRecord& r : records_) status = std::max(status, r.lastExitStatus);
        return status == kExitDone && recordFailed_ ? kExitFailed : status;
    }
    if (recordFailed_) return kExitFailed;
    const bool allCompleted = std::all_of(records_.begin(), records_.end(), [](const PortRecord& r) {
        return r.last.result == PortResult::Completed;
    });
    if (allCompleted) return kExitDone;
    const bool noneStarted = std::all_of(records_.begin(), records_.end(), [](const PortRecord& r) {
        return r.last.result == PortResult::NoStart;
    });
    return noneStarted ? kExitNoStart : kExitFailed;
}

}  // namespace quorvane
