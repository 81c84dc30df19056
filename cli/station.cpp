#include "cli/station.h"

#include <algorithm>

#include "cli/cli_runner.h"
#include "cli/stages.h"

namespace quorvane {
namespace {

constexpr auto kTick = std::chrono::milliseconds(10);

}  // namespace

Station::Station(const CliOptions& options, std::ostream& out, std::ostream& err, std::string programDir)
    : options_(options), out_(out), err_(err), programDir_(std::move(programDir)) {
    records_.push_back(PortRecord{options.port, 0, {}, 0});
}

Station::~Station() = default;

std::unique_ptr<PortSession> Station::MakeSession(const std::string& port) {
    const SessionOutput output{out_, err_, SeveralPorts() ? port + ": " : std::string()};
    return std::make_unique<PortSession>(options_, programDir_, port, output, bell_,
                                         MakeStages(options_, nullptr));
}

int Station::Run() {
    std::vector<std::size_t> all(records_.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    if (!RunRound(all)) return kExitNoStart;
    if (SeveralPorts()) PrintSummary();
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
            PortRecord& record = records_[ports[i]];
            ++record.attempts;
            record.last = s.Outcome();
            record.lastExitStatus = s.ExitStatus();
            if (OnRunEnded) OnRunEnded(s, record);
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
    err_ << completed << " completed, " << records_.size() - static_cast<std::size_t>(completed) << " failed\n"
         << std::flush;
}

int Station::ExitStatus() const {
    if (!SeveralPorts()) return records_.front().lastExitStatus;
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
