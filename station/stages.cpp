#include "station/stages.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "link/engine.h"
#include "app/port_loss.h"
#include "link/groups.h"
#include "serial/comm.h"
#include "serial/port_list.h"
#include "station/escape.h"
#include "station/control_values.h"
#include "station/tracker_table.h"
#include "station/write_safety_stages.h"

namespace quorvane {
namespace {

// A tracker's own settings file in `dir`: named by its IMEI, else its serial number,
// else the port; only letters, digits, '-' and '_' from them.
std::string SavePathIn(const std::string& dir, const PortSession& s) {
    const PortOutcome& o = s.Outcome();
    const std::string& key = !o.imei.empty() ? o.imei : !o.sn.empty() ? o.sn : s.Port();
    std::string name;
    for (const char c : key) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_') name.push_back(c);
    }
    if (name.empty()) name = "tracker";
    return (std::filesystem::path(dir) / (name + ".ini")).string();
}

// The operation a command starts and, for a group's read or write, its group.
std::optional<HandlerTarget> OperationFor(const StationJob& o) {
    const Group* g = FindGroup(o.group);
    switch (o.command) {
        case JobCommand::Read: return HandlerTarget{Operation::ReadGroup, g};
        case JobCommand::Write: return HandlerTarget{Operation::WriteGroup, g};
        case JobCommand::ReadAll: return HandlerTarget{Operation::ReadAll, &AllGroups()};
        case JobCommand::WriteAll: return HandlerTarget{Operation::WriteAll, &AllGroups()};
        case JobCommand::Default: return HandlerTarget{Operation::Default, nullptr};
        case JobCommand::ClearSms: return HandlerTarget{Operation::ClearSms, nullptr};
        case JobCommand::ClearGprs1: return HandlerTarget{Operation::ClearGprs1, nullptr};
        case JobCommand::ClearGprs2: return HandlerTarget{Operation::ClearGprs2, nullptr};
        case JobCommand::ClearGpsLog: return HandlerTarget{Operation::ClearGpsLog, nullptr};
        case JobCommand::SetMileage: return HandlerTarget{Operation::SetMileage, nullptr};
        case JobCommand::RfidAuth: return HandlerTarget{Operation::AuthorizeId, nullptr};
        case JobCommand::RfidDelete: return HandlerTarget{Operation::DeleteId, nullptr};
        case JobCommand::RfidCheck: return HandlerTarget{Operation::CheckId, nullptr};
        case JobCommand::TempPair: return HandlerTarget{Operation::TemperaturePair, nullptr};
        default: return std::nullopt;
    }
}


// Every exchange is bounded by the engine's own time-out; this only guards against
// a logic that never reports.
constexpr auto kCommandLimit = std::chrono::seconds(60);

// A command that connected prints the controls it covers whether or not it
// completed; the exit status tells which.
void PrintCovered(PortSession& s) {
    if (s.Job().printValues) PrintControls(s.Out(), s.Form(), PrintedControls(s.Job()));
    s.Out() << std::flush;
}

// "error: Error opening serial port" and, where the system said why, a second
// "error: ..." line with the reason.
void ShowOpenFailure(Ui& ui, const ECommsError& error) {
    ui.ShowError(error.what());
    if (!error.Detail().empty()) ui.ShowError(error.Detail());
}

}  // namespace

const char* CommandPhaseName(JobCommand command) {
    switch (command) {
        case JobCommand::Read:
        case JobCommand::ReadAll:
        case JobCommand::RfidCheck:
        case JobCommand::Info: return "read";
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
        if (quiet_) {
            // A station's look at a port whose device is away: noted, not shown.
            s.MarkQuiet();
            s.Fail(PortResult::NotOpened);
            s.Outcome().message = e.Detail().empty() ? e.what() : e.Detail();
            return StageStatus::Failed;
        }
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
    SessionUi& ui = s.Ui();
    if (!ui.Errors().empty()) {  // the authorization code did not convert
        s.Fail(PortResult::NoStart);
        return StageStatus::Failed;
    }
    if (s.Window().Engine().AnswerSeen() && !s.Window().Busy()) {
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
        // Why, where the line gives a sign: a program holding the port, or nothing at
        // all back. A line of its own, so the run's message stays the one above.
        const std::vector<PortHolder> holders = OtherPortHolders(s.Port());
        if (!holders.empty() || s.Window().Comm1().ReceivedBytes() == 0) {
            s.Err() << "error: " << EscapeValue(SecondReaderText(s.Port(), holders)) << '\n' << std::flush;
        }
        s.Fail(PortResult::NoAnswer);
        return StageStatus::Failed;
    }
    return StageStatus::Running;
}

StageStatus AdmitStage::Begin(PortSession& s, Clock::time_point now) {
    if (admit_(s.Outcome())) return StageStatus::Done;
    // Served already: the port stays open, so that its loss is seen the moment it
    // happens, and the tracker is asked again now and then whether it is still there.
    asking_ = false;
    nextAsk_ = now + pause_;
    return StageStatus::Running;
}

StageStatus AdmitStage::Poll(PortSession& s, Clock::time_point now) {
    if (!asking_) {
        if (now < nextAsk_) return StageStatus::Running;
        s.Form().SetText("IMEI", "");
        s.Window().Engine().SetConnectPollCount(1);
        asking_ = true;
        deadline_ = now + limit_;
        return StageStatus::Running;
    }
    if (s.Form().Text("IMEI").empty()) {
        if (now < deadline_) return StageStatus::Running;
        // Its answers stopped: it has gone, and is served again when it answers.
        s.MarkQuiet();
        s.Fail(PortResult::NoAnswer);
        return StageStatus::Failed;
    }
    if (s.Window().Busy()) return StageStatus::Running;  // the Device ID read, bounded by its time-out
    NoteIdentity(s);
    if (admit_(s.Outcome())) return StageStatus::Done;
    asking_ = false;
    nextAsk_ = now + pause_;
    return StageStatus::Running;
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
    } catch (const EBadValue& e) {
        s.Ui().ShowError(e.what());
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    return StageStatus::Done;
}

// --- the command -----------------------------------------------------------------

CommandStage::CommandStage(const StationJob& job)
    : name_(CommandPhaseName(job.command)) {}

StageStatus CommandStage::Begin(PortSession& s, Clock::time_point now) {
    const StationJob& job = s.Job();
    const auto target = OperationFor(job);
    const char* handler = target ? HandlerOf(target->op, target->group) : "";
    SessionUi& ui = s.Ui();
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
    s.Window().Guard([&] { CheckCommandEncodes(s.Form(), job); });
    started_ = s.Now();
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
    SessionUi& ui = s.Ui();
    const bool ended = ui.Notices().size() > noticesBefore_ || !s.Window().Busy();
    if (!ended && now < deadline_) return StageStatus::Running;
    const StationJob& job = s.Job();
    if (job.timing) {
        s.Err() << "timing: " << std::chrono::duration<double>(s.Now() - started_).count() << '\n'
                << std::flush;
    }
    s.Window().Engine().RemoveResultHook(resultHook_);
    resultHook_ = 0;
    const auto target = OperationFor(job);
    const std::optional<OperationResult>& result = *ended_;
    const bool completed = ended && target && result && result->outcome == Outcome::Completed &&
                           result->op == target->op && result->group == target->group &&
                           ui.Errors().size() == errorsBefore_;
    PrintCovered(s);
    // A partial read is never saved as if it were whole.
    if (!completed) {
        // A restart reports nothing of its own: the error says what it cut short.
        if (result && result->outcome == Outcome::Restarted && ui.Errors().size() == errorsBefore_) {
            ui.ShowError(RestartedText(*result));
        }
        s.Fail(PortResult::Failed);
        return StageStatus::Failed;
    }
    if (job.saveFile || job.saveDir) {
        ui.SetDialogPath(job.saveFile ? *job.saveFile : SavePathIn(*job.saveDir, s));
        s.Window().Guard([&] { s.Window().SavetSettings1Click(); });
        if (ui.Errors().size() != errorsBefore_) {
            s.Fail(PortResult::Failed);
            return StageStatus::Failed;
        }
    }
    return StageStatus::Done;
}

void CommandStage::Abort(PortSession& s) {
    if (resultHook_ != 0) s.Window().Engine().RemoveResultHook(resultHook_);
    resultHook_ = 0;
}

// --- info ------------------------------------------------------------------------

StageStatus InfoStage::Begin(PortSession& s, Clock::time_point) {
    PrintCovered(s);
    return StageStatus::Done;
}

// --- the list --------------------------------------------------------------------

StageList MakeStages(const StationJob& job, const StagePlan& plan) {
    StageList stages;
    const auto connectLimit = plan.connectLimit.value_or(
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(job.timeoutSeconds)));
    if (job.command == JobCommand::Diff) {
        stages.push_back(std::make_unique<DiffConnectStage>(connectLimit));
        stages.push_back(std::make_unique<DiffStage>());
        return stages;
    }
    stages.push_back(std::make_unique<ConnectStage>(connectLimit, plan.quietConnect));
    if (plan.admit) stages.push_back(std::make_unique<AdmitStage>(plan.admit, plan.askPause, plan.askLimit));
    if (job.command == JobCommand::Info) {
        stages.push_back(std::make_unique<InfoStage>());
        return stages;
    }
    if (plan.perTracker) stages.push_back(std::make_unique<TrackerValuesStage>(*plan.perTracker));
    const bool writes = job.command == JobCommand::Write || job.command == JobCommand::WriteAll;
    if (writes && !job.fromStartValues) {
        // One read gives both the tracker's own values and, when asked for, the backup.
        stages.push_back(std::make_unique<ReadFirstStage>(job.backupDir, plan.perTracker));
    } else if (job.backupDir) {
        stages.push_back(std::make_unique<BackupStage>(*job.backupDir));
    }
    stages.push_back(std::make_unique<CommandStage>(job));
    if (job.verify) stages.push_back(std::make_unique<VerifyStage>());
    return stages;
}

}  // namespace quorvane
