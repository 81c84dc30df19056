#include "station/port_session.h"

#include <filesystem>

#include "serial/comm.h"
#include "station/control_values.h"
#include "station/escape.h"
#include "station/exit_status.h"
#include "station/trace_file.h"

namespace quorvane {

const char* PortResultName(PortResult result) {
    switch (result) {
        case PortResult::Completed: return "completed";
        case PortResult::NoAnswer: return "no-answer";
        case PortResult::NotOpened: return "not-opened";
        case PortResult::Interrupted: return "interrupted";
        case PortResult::Failed:
        case PortResult::NoStart: break;
    }
    return "failed";
}

const char* PortStateName(PortState state) {
    switch (state) {
        case PortState::Waiting: return "waiting for the device";
        case PortState::Connecting: return "connecting";
        case PortState::BackingUp: return "backing up";
        case PortState::Reading: return "reading";
        case PortState::Writing: return "writing";
        case PortState::Verifying: return "verifying";
        case PortState::Done: return "done";
        case PortState::Failed: break;
    }
    return "failed";
}

PortSession::PortSession(const StationJob& job, std::string port, const SessionContext& context, StageList stages)
    : job_(job),
      port_(std::move(port)),
      observer_(context.observer),
      clock_(context.clock),
      severalPorts_(context.severalPorts),
      streams_([&observer = context.observer, name = context.lineName](LineKind kind, std::string_view line) {
          observer.PortLine(name, kind, line);
      }),
      shown_(observer_.MakePortUi(context.lineName, streams_.Err())),
      ui_(*shown_),
      mailbox_(context.bell),
      window_(form_, ui_, mailbox_, context.programDir),
      stages_(std::move(stages)) {
    window_.Safety().SetUi(&ui_);
    window_.Engine().SetProgressHook([this](int done, int total) { observer_.PortProgress(*this, done, total); });
}

PortSession::~PortSession() = default;

bool PortSession::Prepare() {
    if (job_.load) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(*job_.load, ec)) {
            Err() << "error: settings file not found: " << EscapeValue(*job_.load) << '\n' << std::flush;
            return false;
        }
        ui_.SetDialogPath(*job_.load);
        window_.Guard([&] { window_.LoadSettings1Click(); });
        if (!ui_.Errors().empty()) return false;
    }
    try {
        for (const auto& [name, value] : job_.sets) {
            ApplySet(form_, name, value);
            outcome_.values.emplace_back(name, value);
        }
    } catch (const EBadValue& e) {
        Err() << "error: " << e.what() << '\n' << std::flush;
        return false;
    }
    form_.SetText("AuthCode", job_.auth);
    if (job_.trace) {
        try {
            trace_ = std::make_unique<TraceFile>(TracePath(*job_.trace, port_, severalPorts_));
        } catch (const ETraceFile& e) {
            Err() << "error: " << e.what() << '\n' << std::flush;
            return false;
        }
        trace_->Attach(window_.Traffic());
    }
    return true;
}

void PortSession::Start(Clock::time_point now) {
    started_ = true;
    runStart_ = now;
    outcome_.startedAt = std::chrono::system_clock::now();
    EnterStage(0, now);
}

void PortSession::Tick() {
    if (!started_ || finished_) return;
    window_.Guard([this] { window_.Timer1Timer(); });
    if (++ticks_ % 100 == 0) window_.Guard([this] { window_.Timer2Timer(); });
}

void PortSession::Step(Clock::time_point now) {
    // A lost port ends whatever stage runs, at once.
    if (started_ && !finished_ && window_.Watch().PortLostState()) {
        Err() << "error: port lost: " << window_.Watch().LostPortName() << '\n';
        Fail(PortResult::Failed);
        Finish(now);
        return;
    }
    while (started_ && !finished_) {
        const StageStatus status = stages_[stage_]->Poll(*this, now);
        if (status == StageStatus::Running) return;
        const std::string name = stages_[stage_]->Name();
        if (!name.empty()) {
            outcome_.phaseSeconds[name] += std::chrono::duration<double>(clock_() - stageStart_).count();
        }
        if (status == StageStatus::Failed) {
            Finish(now);
            return;
        }
        EnterStage(stage_ + 1, now);
    }
}

void PortSession::EnterStage(std::size_t index, Clock::time_point now) {
    for (; index < stages_.size(); ++index) {
        stage_ = index;
        stageStart_ = clock_();
        Report(stages_[index]->State());
        const StageStatus status = stages_[index]->Begin(*this, now);
        if (status == StageStatus::Running) return;
        // A stage refused at its start never ran: it has no time in the record.
        if (status == StageStatus::Failed) {
            Finish(now);
            return;
        }
        const std::string name = stages_[index]->Name();
        if (!name.empty()) {
            outcome_.phaseSeconds[name] += std::chrono::duration<double>(clock_() - stageStart_).count();
        }
    }
    outcome_.result = PortResult::Completed;
    outcome_.message = ui_.LastMessage();
    Finish(now);
}

std::string PortSession::StageName() const {
    if (!started_ || finished_) return {};
    return stages_[stage_]->Name();
}

void PortSession::Interrupt(Clock::time_point now) {
    if (!started_ || finished_) return;
    window_.Engine().AbandonOperation();
    ui_.ShowError("interrupted");
    Fail(PortResult::Interrupted);
    Finish(now);
}

void PortSession::Fail(PortResult result) {
    outcome_.result = result;
    outcome_.message = ui_.LastMessage();
}

void PortSession::Finish(Clock::time_point now) {
    finished_ = true;
    outcome_.seconds = std::chrono::duration<double>(now - runStart_).count();
    // The port is closed as soon as its run ends; nothing more arrives for it.
    window_.Comm1().CloseComm();
    Out() << std::flush;
    Err() << std::flush;
    if (!quiet_) Report(outcome_.result == PortResult::Completed ? PortState::Done : PortState::Failed);
}

void PortSession::Report(PortState state) { observer_.PortStateChanged(*this, state); }

int PortSession::ExitStatus() const {
    switch (outcome_.result) {
        case PortResult::Completed: return kExitDone;
        case PortResult::NoStart:
        case PortResult::NotOpened: return kExitNoStart;
        case PortResult::Failed:
        case PortResult::NoAnswer:
        case PortResult::Interrupted: break;
    }
    return kExitFailed;
}

}  // namespace quorvane
