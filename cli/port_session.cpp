#include "cli/port_session.h"

#include <filesystem>

#include "cli/cli_runner.h"
#include "cli/control_values.h"
#include "cli/escape.h"
#include "cli/line_cli.h"
#include "serial/comm.h"

namespace quorvane {

const char* PortResultName(PortResult result) {
    switch (result) {
        case PortResult::Completed: return "completed";
        case PortResult::NoAnswer: return "no-answer";
        case PortResult::NotOpened: return "not-opened";
        case PortResult::Failed:
        case PortResult::NoStart: break;
    }
    return "failed";
}

PortSession::PortSession(const CliOptions& options, std::string programDir, std::string port,
                         const SessionOutput& output, Doorbell& bell, StageList stages)
    : options_(options),
      port_(std::move(port)),
      streams_(output.out, output.err, output.prefix),
      ui_(streams_.Err()),
      mailbox_(bell),
      window_(form_, ui_, mailbox_, std::move(programDir)),
      stages_(std::move(stages)),
      severalPorts_(!output.prefix.empty()) {
    window_.Safety().SetUi(&ui_);
}

PortSession::~PortSession() = default;

bool PortSession::Prepare() {
    if (options_.load) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(*options_.load, ec)) {
            Err() << "error: settings file not found: " << EscapeValue(*options_.load) << '\n' << std::flush;
            return false;
        }
        ui_.SetDialogPath(*options_.load);
        window_.Guard([&] { window_.LoadSettings1Click(); });
        if (!ui_.Errors().empty()) return false;
    }
    try {
        for (const auto& [name, value] : options_.sets) {
            ApplySet(form_, name, value);
            outcome_.values.emplace_back(name, value);
        }
    } catch (const EUsage& e) {
        Err() << "error: " << e.what() << '\n' << std::flush;
        return false;
    }
    form_.SetText("AuthCode", options_.auth);
    if (options_.trace) {
        try {
            trace_ = std::make_unique<TraceFile>(TracePath(*options_.trace, port_, severalPorts_));
        } catch (const EUsage& e) {
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
        Err() << PortLostLine(window_.Watch().LostPortName()) << '\n';
        Fail(PortResult::Failed);
        Finish(now);
        return;
    }
    while (started_ && !finished_) {
        const StageStatus status = stages_[stage_]->Poll(*this, now);
        if (status == StageStatus::Running) return;
        const std::string name = stages_[stage_]->Name();
        if (!name.empty()) {
            outcome_.phaseSeconds[name] += std::chrono::duration<double>(Clock::now() - stageStart_).count();
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
        stageStart_ = Clock::now();
        const StageStatus status = stages_[index]->Begin(*this, now);
        if (status == StageStatus::Running) return;
        // A stage refused at its start never ran: it has no time in the record.
        if (status == StageStatus::Failed) {
            Finish(now);
            return;
        }
        const std::string name = stages_[index]->Name();
        if (!name.empty()) {
            outcome_.phaseSeconds[name] += std::chrono::duration<double>(Clock::now() - stageStart_).count();
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
}

int PortSession::ExitStatus() const {
    switch (outcome_.result) {
        case PortResult::Completed: return kExitDone;
        case PortResult::NoStart:
        case PortResult::NotOpened: return kExitNoStart;
        case PortResult::Failed:
        case PortResult::NoAnswer: break;
    }
    return kExitFailed;
}

}  // namespace quorvane
