#include "station/station.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "cli/cli_runner.h"
#include "cli/interrupt.h"
#include "station/stages.h"
#include "serial/port_list.h"

namespace quorvane {
namespace {

constexpr auto kTick = std::chrono::milliseconds(10);
// --repeat: how long one look for a tracker waits for its connect answer, and the
// pause between looks at a port whose tracker was served or that cannot be opened.
constexpr auto kLookLimit = std::chrono::seconds(2);
constexpr auto kLookPause = std::chrono::seconds(1);

std::vector<std::string> ResolvePorts(const CliOptions& options) {
    std::vector<std::string> ports;
    auto add = [&](const std::string& name) {
        if (std::find(ports.begin(), ports.end(), name) == ports.end()) ports.push_back(name);
    };
    for (const std::string& name : options.ports) {
        if (name == "all") {
            for (const std::string& listed : ListSerialPorts()) add(listed);
        } else {
            add(name);
        }
    }
    if (ports.empty() && !options.port.empty()) ports.push_back(options.port);
    return ports;
}

// A word as a POSIX shell reads it back.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_./=:,@%+", c) != nullptr;
    });
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

std::string RetryCommandLine(const std::vector<std::string>& arguments, const std::vector<std::string>& ports) {
    std::vector<std::string> words;
    bool portsPlaced = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--port" && i + 1 < arguments.size()) {
            if (!portsPlaced) {
                for (const std::string& p : ports) words.insert(words.end(), {"--port", p});
                portsPlaced = true;
            }
            ++i;
            continue;
        }
        words.push_back(arguments[i]);
    }
    std::string line = "quorvane-cli";
    for (const std::string& w : words) line += " " + ShellWord(w);
    return line;
}

Station::Station(const CliOptions& options, std::ostream& out, std::ostream& err, std::string programDir)
    : options_(options), out_(out), err_(err), programDir_(std::move(programDir)) {
    for (const std::string& port : ResolvePorts(options)) records_.push_back(PortRecord{port, 0, {}, 0});
}

Station::~Station() = default;

std::unique_ptr<PortSession> Station::MakeSession(Slot& slot) {
    const std::string& port = records_[slot.record].port;
    const SessionOutput output{out_, err_, SeveralPorts() ? port + ": " : std::string()};
    StagePlan plan;
    plan.perTracker = perTracker_ ? &*perTracker_ : nullptr;
    if (options_.repeat) {
        // Looking for the next tracker: short, quiet connect attempts, and a tracker
        // served already only once it has been away.
        plan.connectLimit = kLookLimit;
        plan.quietConnect = true;
        plan.admit = [&slot](const PortOutcome& o) { return slot.away || o.imei != slot.lastImei; };
    }
    return std::make_unique<PortSession>(options_, programDir_, port, output, bell_, MakeStages(options_, plan));
}

int Station::Run() {
    if (records_.empty()) {
        err_ << "error: no serial port found\n" << std::flush;
        return kExitNoStart;
    }
    if (!OpenFiles() || !CommandCanStart()) return kExitNoStart;
    if (options_.repeat) {
        CatchInterrupt();
        RunRepeat();
        PrintSummary(served_);
        return ExitStatus();
    }
    std::vector<std::size_t> round(records_.size());
    for (std::size_t i = 0; i < round.size(); ++i) round[i] = i;
    RunRound(round);
    // Failed ports again, after every other port is done.
    for (int retry = 0; retry < options_.retry; ++retry) {
        round.clear();
        for (std::size_t i = 0; i < records_.size(); ++i) {
            if (records_[i].last.result != PortResult::Completed) round.push_back(i);
        }
        if (round.empty()) break;
        RunRound(round);
    }
    if (SeveralPorts() || options_.retry > 0) PrintSummary(records_);
    return ExitStatus();
}

bool Station::CommandCanStart() {
    // --load and --set are the same for every port: when they do not fit, the
    // command cannot start, and no port is opened.
    PortSession trial(options_, programDir_, records_.front().port, SessionOutput{out_, err_, {}}, bell_,
                      StageList{});
    return trial.Prepare();
}

void Station::RunRound(const std::vector<std::size_t>& ports) {
    std::vector<Slot> slots(ports.size());
    const auto now = Clock::now();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        slots[i].record = ports[i];
        slots[i].startAt = now;
    }
    Drive(slots);
}

void Station::RunRepeat() {
    std::vector<Slot> slots(records_.size());
    const auto now = Clock::now();
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots[i].record = i;
        slots[i].startAt = now;
    }
    Drive(slots);
}

void Station::Drive(std::vector<Slot>& slots) {
    auto nextTick = Clock::now() + kTick;
    for (;;) {
        const auto now = Clock::now();
        const bool stopping = options_.repeat && InterruptRequested();
        bool busy = false;
        for (Slot& slot : slots) {
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
            if (stopping && slot.session->StageName() == "connect") {
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
        if (!busy) break;
        if (now >= nextTick) {
            for (Slot& slot : slots) {
                if (slot.session) slot.session->Tick();
            }
            nextTick += kTick;
            continue;
        }
        if (bell_.WaitUntil(nextTick + std::chrono::milliseconds(1))) {
            for (Slot& slot : slots) {
                if (slot.session) slot.session->Drain();
            }
        }
    }
}

void Station::SessionEnded(Slot& slot, Clock::time_point now) {
    PortSession& session = *slot.session;
    PortRecord& record = records_[slot.record];
    if (!options_.repeat) {
        RunEnded(session, record);
        return;
    }
    const PortOutcome& outcome = session.Outcome();
    if (session.Quiet()) {
        // Nothing there, or the tracker served last still there.
        if (outcome.result == PortResult::NotOpened || outcome.result == PortResult::NoAnswer) slot.away = true;
        slot.startAt = now + (outcome.result == PortResult::NoAnswer ? Clock::duration::zero() : kLookPause);
        return;
    }
    record.attempts = 0;  // every tracker is its own first attempt
    RunEnded(session, record);
    served_.push_back(record);
    if (outcome.imei.empty()) return;  // refused before any tracker answered: this port is done
    slot.lastImei = outcome.imei;
    slot.away = false;
    slot.startAt = now + kLookPause;
}

bool Station::OpenFiles() {
    try {
        if (options_.perTracker) perTracker_ = TrackerTable::Load(*options_.perTracker);
        if (options_.report) recordFile_ = std::make_unique<RecordFile>(*options_.report);
    } catch (const std::runtime_error& e) {  // ETrackerTable, ERecordFile
        err_ << "error: " << e.what() << '\n' << std::flush;
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
            recordFile_->Append(RecordOf(options_, record.port, record.last, record.attempts));
        } catch (const ERecordFile& e) {
            if (!recordFailed_) session.Err() << "error: " << e.what() << '\n' << std::flush;
            recordFailed_ = true;
        }
    }
    if (options_.json) out_ << PortObject(session).dump() << '\n' << std::flush;
    if (OnRunEnded) OnRunEnded(session, record);
}

void Station::PrintSummary(const std::vector<PortRecord>& lines) {
    int completed = 0;
    for (const PortRecord& r : lines) {
        err_ << r.port << ": ";
        if (r.last.result == PortResult::Completed) {
            ++completed;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.2f", r.last.seconds);
            err_ << "completed " << seconds << " s IMEI " << r.last.imei;
        } else {
            err_ << "failed: " << r.last.message;
        }
        if (r.attempts > 1) err_ << " (" << r.attempts << " attempts)";
        err_ << '\n';
    }
    const std::size_t failed = lines.size() - static_cast<std::size_t>(completed);
    err_ << completed << " completed, " << failed << " failed\n";
    if (failed > 0 && SeveralPorts() && !options_.repeat) {
        std::vector<std::string> ports;
        for (const PortRecord& r : lines) {
            if (r.last.result != PortResult::Completed) ports.push_back(r.port);
        }
        err_ << "retry: " << RetryCommandLine(options_.arguments, ports) << '\n';
    }
    err_ << std::flush;
}

int Station::ExitStatus() const {
    if (options_.repeat) {
        const bool allCompleted = std::all_of(served_.begin(), served_.end(), [](const PortRecord& r) {
            return r.last.result == PortResult::Completed;
        });
        return allCompleted && !recordFailed_ ? kExitDone : kExitFailed;
    }
    if (!SeveralPorts()) {
        const int status = records_.front().lastExitStatus;
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
