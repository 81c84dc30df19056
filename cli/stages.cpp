#include "cli/stages.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "cli/control_values.h"
#include "cli/line_cli.h"
#include "cli/tracker_table.h"
#include "cli/write_safety_stages.h"
#include "link/engine.h"
#include "link/groups.h"
#include "serial/comm.h"

namespace quorvane {
namespace {

// The operation a command starts and, for a group's read or write, its group.
std::optional<HandlerTarget> OperationFor(const CliOptions& o) {
    const Group* g = FindGroup(o.group);
    switch (o.command) {
        case CliCommand::Read: return HandlerTarget{Operation::ReadGroup, g};
        case CliCommand::Write: return HandlerTarget{Operation::WriteGroup, g};
        case CliCommand::ReadAll: return HandlerTarget{Operation::ReadAll, &AllGroups()};
        case CliCommand::WriteAll: return HandlerTarget{Operation::WriteAll, &AllGroups()};
        case CliCommand::Default: return HandlerTarget{Operation::Default, nullptr};
        case CliCommand::ClearSms: return HandlerTarget{Operation::ClearSms, nullptr};
        case CliCommand::ClearGprs1: return HandlerTarget{Operation::ClearGprs1, nullptr};
        case CliCommand::ClearGprs2: return HandlerTarget{Operation::ClearGprs2, nullptr};
        case CliCommand::ClearGpsLog: return HandlerTarget{Operation::ClearGpsLog, nullptr};
        case CliCommand::SetMileage: return HandlerTarget{Operation::SetMileage, nullptr};
        case CliCommand::RfidAuth: return HandlerTarget{Operation::AuthorizeId, nullptr};
        case CliCommand::RfidDelete: return HandlerTarget{Operation::DeleteId, nullptr};
        case CliCommand::RfidCheck: return HandlerTarget{Operation::CheckId, nullptr};
        case CliCommand::TempPair: return HandlerTarget{Operation::TemperaturePair, nullptr};
        default: return std::nullopt;
    }
}

bool EngineIdle(const TransactionEngine& engine) {
    const auto& s = engine.State();
    return s.OperationState == OpIdle && !s.DeviceIdPending && s.TimeoutCount == 0;
}


// Every exchange is bounded by the engine's own time-out; this only guards against
// a logic that never reports.
constexpr auto kCommandLimit = std::chrono::seconds(60);

// A command that connected prints the controls it covers whether or not it
// completed; the exit status tells which.
void PrintCovered(PortSession& s) {
    if (!s.Options().json) PrintControls(s.Out(), s.Form(), PrintedControls(s.Options()));
    s.Out() << std::flush;
}

}  // namespace

const char* CommandPhaseName(const CliOptions& options) {
    switch (options.command) {
        case CliCommand::Read:
        case CliCommand::ReadAll:
        case CliCommand::RfidCheck:
        case CliCommand::Info: return "read";
        default: return "write";
    }
}

void NoteIdentity(PortSession& s) {
    PortOutcome& o = s.Outcome();
    o.imei = s.Form().Text("IMEI");
    o.sn = s.Form().Text("SN");
    o.firmware = s.Form().Text("Firmware");
}

// --- connect ---------------------------------------------------------------------

// Connect as the window does: open, then the poll until the connect answer and the
// automatic Device ID read have finished.
StageStatus ConnectStage::Begin(PortSession& s, Clock::time_point now) {
    s.Form().SetText("ComboBox1", s.Port());
    try {
        s.Window().OpenPortClick();
    } catch (const ECommsError& e) {
        ShowOpenFailure(s.Ui(), e);  // the reason, where the system tells, on a second line
        s.Fail(PortResult::NotOpened);
        return StageStatus::Failed;
    } catch (const std::exception& e) {
        if (quiet_) {
            s.MarkQuiet();
        } else {
            s.Ui().ShowError(e.what());
        }
        s.Fail(PortResult::NotOpened);
        return StageStatus::Failed;
    }
    deadline_ = now + limit_;
    return StageStatus::Running;
}

StageStatus ConnectStage::Poll(PortSession& s, Clock::time_point now) {
    ConsoleUi& ui = s.Ui();
    if (!ui.Errors().empty()) {  // the authorization code did not convert
        s.Fail(PortResult::NoStart);
        return StageStatus::Failed;
    }
    if (ui.SawConnected() && EngineIdle(s.Window().Engine())) {
        NoteIdentity(s);
        if (!ui.Notices().empty()) {  // "Auth Code Error!": the tracker refused
            // The device information was decoded and the Device ID read answered
            // (or timed out) all the same.
            PrintCovered(s);
            s.Fail(PortResult::Failed);
            return StageStatus::Failed;
        }
        return StageStatus::Done;
    }
    if (now >= deadline_) {
        if (quiet_) {
            s.MarkQuiet();
            s.Fail(PortResult::NoAnswer);
            return StageStatus::Failed;
        }
        ui.ShowError("no connect answer from the tracker on " + s.Port());
        s.Fail(PortResult::NoAnswer);
        return StageStatus::Failed;
    }
    return StageStatus::Running;
}

StageStatus AdmitStage::Begin(PortSession& s, Clock::time_point) {
    if (admit_(s.Outcome())) return StageStatus::Done;
    s.MarkQuiet();
    return StageStatus::Failed;
}

// --- the tracker's own values ----------------------------------------------------

StageStatus TrackerValuesStage::Begin(PortSession& s, Clock::time_point) {
    const std::string key = s.Form().Text(table_.KeyColumn());
    const TrackerRow* row = table_.Find(key);
    if (!row) {
        s.Ui().ShowError("no row for " + table_.KeyColumn() + " " + key);
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    try {
        for (const auto& [name, value] : *row) {
            ApplySet(s.Form(), name, value);
            s.Outcome().values.emplace_back(name, value);
        }
    } catch (const EUsage& e) {
        s.Ui().ShowError(e.what());
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    return StageStatus::Done;
}

// --- the command -----------------------------------------------------------------

CommandStage::CommandStage(const CliOptions& options)
    : name_(CommandPhaseName(options)) {}

StageStatus CommandStage::Begin(PortSession& s, Clock::time_point now) {
    const CliOptions& options = s.Options();
    const auto target = OperationFor(options);
    const char* handler = target ? HandlerOf(target->op, target->group) : "";
    ConsoleUi& ui = s.Ui();
    errorsBefore_ = ui.Errors().size();
    noticesBefore_ = ui.Notices().size();
    // The first operation to end after the click tells how the command went.
    ended_ = std::make_shared<std::optional<OperationResult>>();
    TransactionEngine& engine = s.Window().Engine();
    if (resultHook_ != 0) engine.RemoveResultHook(resultHook_);
    resultHook_ = engine.AddResultHook([ended = ended_](const OperationResult& r) {
        if (!*ended) *ended = r;
    });
    // A write goes out block by block; a value that does not convert must stop it
    // before the first block, not halfway through.
    s.Window().Guard([&] { CheckCommandEncodes(s.Form(), options); });
    started_ = Clock::now();
    if (ui.Errors().size() == errorsBefore_) s.Window().Guard([&] { s.Window().Click(handler); });
    if (ui.Errors().size() != errorsBefore_) {  // refused before sending
        engine.RemoveResultHook(resultHook_);
        resultHook_ = 0;
        PrintCovered(s);
        s.Fail(PortResult::NoStart);
        return StageStatus::Failed;
    }
    deadline_ = now + kCommandLimit;
    return StageStatus::Running;
}

StageStatus CommandStage::Poll(PortSession& s, Clock::time_point now) {
    ConsoleUi& ui = s.Ui();
    const bool ended = ui.Notices().size() > noticesBefore_ || EngineIdle(s.Window().Engine());
    if (!ended && now < deadline_) return StageStatus::Running;
    const CliOptions& options = s.Options();
    if (options.timing) {
        s.Err() << "timing: " << std::chrono::duration<double>(Clock::now() - started_).count() << '\n'
                << std::flush;
    }
    s.Window().Engine().RemoveResultHook(resultHook_);
    resultHook_ = 0;
    const auto target = OperationFor(options);
    const std::optional<OperationResult>& result = *ended_;
    const bool completed = ended && target && result && result->outcome == Outcome::Completed &&
                           result->op == target->op && result->group == target->group &&
                           ui.Errors().size() == errorsBefore_;
    PrintCovered(s);
    // A partial read is never saved as if it were whole.
    if (!completed) {
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    if (options.file) {
        ui.SetDialogPath(*options.file);
        s.Window().Guard([&] { s.Window().SavetSettings1Click(); });
        if (ui.Errors().size() != errorsBefore_) {
            s.Fail(PortResult::Failed);
            return StageStatus::Failed;
        }
    }
    return StageStatus::Done;
}

// --- info ------------------------------------------------------------------------

StageStatus InfoStage::Begin(PortSession& s, Clock::time_point) {
    PrintCovered(s);
    return StageStatus::Done;
}

// --- the list --------------------------------------------------------------------

StageList MakeStages(const CliOptions& options, const StagePlan& plan) {
    StageList stages;
    const auto connectLimit = plan.connectLimit.value_or(
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.timeoutSeconds)));
    if (options.command == CliCommand::Diff) {
        stages.push_back(std::make_unique<DiffConnectStage>(connectLimit));
        stages.push_back(std::make_unique<DiffStage>());
        return stages;
    }
    stages.push_back(std::make_unique<ConnectStage>(connectLimit, plan.quietConnect));
    if (plan.admit) stages.push_back(std::make_unique<AdmitStage>(plan.admit));
    if (options.command == CliCommand::Info) {
        stages.push_back(std::make_unique<InfoStage>());
        return stages;
    }
    if (plan.perTracker) stages.push_back(std::make_unique<TrackerValuesStage>(*plan.perTracker));
    if (options.backupDir) stages.push_back(std::make_unique<BackupStage>(*options.backupDir));
    stages.push_back(std::make_unique<CommandStage>(options));
    if (options.verify) stages.push_back(std::make_unique<VerifyStage>());
    return stages;
}

}  // namespace quorvane
