#include "station/port_session.h"

#include <filesystem>

#include "blocks/field_fit.h"
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
        const std::filesystem::file_status status = std::filesystem::status(*job_.load, ec);
        if (!std::filesystem::exists(status)) {
            Err() << "error: settings file not found: " << EscapeValue(*job_.load) << '\n' << std::flush;
            return false;
        }
        if (!std::filesystem::is_regular_file(status)) {
            Err() << "error: settings file " << EscapeValue(*job_.load)
                  << (std::filesystem::is_directory(status) ? " is a folder" : " is not a regular file (a device or FIFO)")
                  << '\n' << std::flush;
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
        Err() << "error: " << EscapeValue(e.what()) << '\n' << std::flush;
        return false;
    }
    // A value its field cannot hold is refused before any port opens, with its box.
    for (const auto& set : job_.sets) {
        window_.Guard([&] { CheckControlFits(form_, set.first); });
        if (!ui_.Errors().empty()) return false;
    }
    form_.SetText("AuthCode", job_.auth);
    if (job_.trace) {
        try {
            trace_ = std::make_unique<TraceFile>(TracePath(*job_.trace, port_, severalPorts_),
                                                 [this](const std::string& why) {
                                                     Err() << "error: " << EscapeValue(why) << '\n' << std::flush;
                                                 });
        } catch (const ETraceFile& e) {
            Err() << "error: " << EscapeValue(e.what()) << '\n' << std::flush;
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
    // A lost port ends whatever stage runs, at once; a look that loses it has
    // found nothing, and says nothing.
    if (started_ && !finished_ && window_.Watch().PortLostState()) {
        portLost_ = true;
        if (Looking()) {
            MarkQuiet();
            Fail(PortResult::NotOpened);
        } else {
            Err() << "error: port lost: " << window_.Watch().LostPortName() << '\n';
            errorLine_ = true;
            Fail(PortResult::Failed);
        }
        AbortStage();
        Finish(now);
        return;
    }
    while (started_ && !finished_) {
        const StageStatus status = stages_[stage_]->Poll(*this, now);
        if (status == StageStatus::Running) return;
        TimeStage();
        if (status == StageStatus::Failed) {
            Finish(now);
            return;
        }
        EnterStage(stage_ + 1, now);
    }
}

void PortSession::TimeStage() {
    if (stageTimed_) return;
    stageTimed_ = true;
    const std::string name = stages_[stage_]->Name();
    if (!name.empty()) outcome_.phaseSeconds[name] += std::chrono::duration<double>(clock_() - stageStart_).count();
}

void PortSession::AbortStage() {
    if (stageTimed_) return;
    stages_[stage_]->Abort(*this);
    TimeStage();
}

void PortSession::EnterStage(std::size_t index, Clock::time_point now) {
    for (; index < stages_.size(); ++index) {
        stage_ = index;
        stageStart_ = clock_();
        // A look for a tracker tells the user nothing; a run serving one tells all.
        ui_.SetQuiet(stages_[index]->State() == PortState::Waiting);
        Report(stages_[index]->State());
        stageTimed_ = false;
        const StageStatus status = stages_[index]->Begin(*this, now);
        if (status == StageStatus::Running) return;
        // A stage refused at its start never ran: it has no time in the record.
        if (status == StageStatus::Failed) {
            stageTimed_ = true;
            Finish(now);
            return;
        }
        TimeStage();
    }
    outcome_.result = PortResult::Completed;
    outcome_.message = ui_.LastMessage();
    Finish(now);
}

std::string PortSession::StageName() const {
    if (!started_ || finished_) return {};
    return stages_[stage_]->Name();
}

bool PortSession::Looking() const {
    return started_ && !finished_ && stages_[stage_]->State() == PortState::Waiting;
}

void PortSession::Fail(PortResult result) {
    outcome_.result = result;
    outcome_.message = ui_.LastMessage();
}

void PortSession::Interrupt(Clock::time_point now) {
    if (!started_ || finished_) return;
    const std::string where = PortStateName(stages_[stage_]->State());
    AbortStage();
    outcome_.result = PortResult::Interrupted;
    outcome_.message = "stopped at once while " + where;
    ui_.ShowError(outcome_.message);
    outcome_.message = ui_.LastMessage();
    Finish(now);
}

void PortSession::Finish(Clock::time_point now) {
    const PortState where = started_ && stage_ < stages_.size() ? stages_[stage_]->State() : PortState::Connecting;
    finished_ = true;
    outcome_.seconds = std::chrono::duration<double>(now - runStart_).count();
    // The port is closed as soon as its run ends; nothing more arrives for it.
    window_.Comm1().CloseComm();
    // Every failure names itself: a message, and an error line.
    if (!quiet_ && outcome_.result != PortResult::Completed) {
        if (outcome_.message.empty()) outcome_.message = std::string("failed while ") + PortStateName(where);
        if (ui_.Errors().empty() && !errorLine_) {
            ui_.SetQuiet(false);
            ui_.ShowError(outcome_.message);
            errorLine_ = true;
        }
    }
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
