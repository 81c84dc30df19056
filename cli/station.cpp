#include "cli/station.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "cli/cli_runner.h"
#include "cli/stages.h"
#include "serial/port_list.h"

namespace quorvane {
namespace {

constexpr auto kTick = std::chrono::milliseconds(10);

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

std::unique_ptr<PortSession> Station::MakeSession(const std::string& port) {
    const SessionOutput output{out_, err_, SeveralPorts() ? port + ": " : std::string()};
    return std::make_unique<PortSession>(options_, programDir_, port, output, bell_,
                                         MakeStages(options_, perTracker_ ? &*perTracker_ : nullptr));
}

int Station::Run() {
    if (records_.empty()) {
        err_ << "error: no serial port found\n" << std::flush;
        return kExitNoStart;
    }
    if (!OpenFiles()) return kExitNoStart;
    std::vector<std::size_t> round(records_.size());
    for (std::size_t i = 0; i < round.size(); ++i) round[i] = i;
    if (!RunRound(round)) return kExitNoStart;
    // Failed ports again, after every other port is done.
    for (int retry = 0; retry < options_.retry; ++retry) {
        round.clear();
        for (std::size_t i = 0; i < records_.size(); ++i) {
            if (records_[i].last.result != PortResult::Completed) round.push_back(i);
        }
        if (round.empty() || !RunRound(round)) break;
    }
    if (SeveralPorts() || options_.retry > 0) PrintSummary();
    return ExitStatus();
}

bool Station::RunRound(const std::vector<std::size_t>& ports) {
    std::vector<std::unique_ptr<PortSession>> sessions;
    for (std::size_t index : ports) {
        sessions.push_back(MakeSession(records_[index].port));
        // --load and --set are the same for every port: when they do not fit, the
        // command cannot start, and no port is opened.
        if (!sessions.back()->Prepare()) return false;
    }
    auto now = Clock::now();
    for (auto& s : sessions) s->Start(now);
    auto nextTick = now + kTick;
    std::vector<bool> reported(sessions.size(), false);
    for (;;) {
        now = Clock::now();
        bool allDone = true;
        for (std::size_t i = 0; i < sessions.size(); ++i) {
            PortSession& s = *sessions[i];
            s.Step(now);
            if (!s.Finished()) {
                allDone = false;
                continue;
            }
            if (reported[i]) continue;
            reported[i] = true;
            RunEnded(s, records_[ports[i]]);
        }
        if (allDone) break;
        if (now >= nextTick) {
            for (auto& s : sessions) s->Tick();
            nextTick += kTick;
            continue;
        }
        if (bell_.WaitUntil(nextTick + std::chrono::milliseconds(1))) {
            for (auto& s : sessions) s->Drain();
        }
    }
    return true;
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

void Station::PrintSummary() {
    int completed = 0;
    for (const PortRecord& r : records_) {
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
    const std::size_t failed = records_.size() - static_cast<std::size_t>(completed);
    err_ << completed << " completed, " << failed << " failed\n";
    if (failed > 0 && SeveralPorts()) {
        std::vector<std::string> ports;
        for (const PortRecord& r : records_) {
            if (r.last.result != PortResult::Completed) ports.push_back(r.port);
        }
        err_ << "retry: " << RetryCommandLine(options_.arguments, ports) << '\n';
    }
    err_ << std::flush;
}

int Station::ExitStatus() const {
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
