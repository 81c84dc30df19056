#include "cli/cli_runner.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

#include "app/form1.h"
#include "app/memory_form.h"
#include "app/window_model.h"
#include "cli/console_ui.h"
#include "cli/escape.h"
#include "cli/groups.h"
#include "cli/line_cli.h"
#include "link/engine.h"
#include "serial/comm.h"
#include "serial/port_list.h"

namespace quorvane {
namespace {

using Clock = std::chrono::steady_clock;

std::string ValueOf(const Form& form, const ControlDef& control) {
    switch (control.kind) {
        case ControlKind::CheckBox: return form.Checked(control.name) ? "1" : "0";
        case ControlKind::ComboBox: return std::to_string(form.ItemIndex(control.name));
        default: return EscapeValue(form.Text(control.name));
    }
}

void PrintControls(std::ostream& out, const Form& form, const std::vector<const ControlDef*>& controls) {
    for (const ControlDef* c : controls) out << c->name << '=' << ValueOf(form, *c) << '\n';
}

void PrintGroup(std::ostream& out, const Form& form, const CliGroup& group) {
    PrintControls(out, form, DataControls(group.tab));
}

// Sets one control from a --set value; throws EUsage when the value does not fit.
void ApplySet(Form& form, const std::string& name, const std::string& value) {
    const ControlDef* control = FindControl(name);
    if (!control) throw EUsage("unknown control '" + name + "'");
    switch (control->kind) {
        case ControlKind::CheckBox:
            if (value != "0" && value != "1") throw EUsage("--set " + name + " takes 0 or 1");
            form.SetChecked(name, value == "1");
            break;
        case ControlKind::ComboBox: {
            std::size_t used = 0;
            int index = 0;
            try {
                index = std::stoi(value, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used == 0 || used != value.size()) {
                throw EUsage("--set " + name + " takes an item index, not '" + value + "'");
            }
            form.SetItemIndex(name, index);
            break;
        }
        case ControlKind::Edit:
        case ControlKind::Memo: form.SetText(name, value); break;
        default: throw EUsage("'" + name + "' is not an edit, check box or combo box");
    }
}

struct Expected {
    const char* handler;
    std::vector<std::string> completions;
};

Expected ExpectedFor(const CliOptions& o) {
    const CliGroup* g = FindCliGroup(o.group);
    switch (o.command) {
        case CliCommand::Read: return {g->readHandler, {g->readCompleted}};
        case CliCommand::Write: return {g->writeHandler, {g->writeCompleted}};
        case CliCommand::ReadAll: return {"ReadAllClick", {"Read All Completed!"}};
        case CliCommand::WriteAll: return {"WriteAllClick", {"Write All Completed!"}};
        case CliCommand::Default: return {"InitAllClick", {"Default Completed!"}};
        case CliCommand::ClearSms: return {"ClearSMSClick", {"Clear SMS Buffer Completed!"}};
        case CliCommand::ClearGprs1: return {"ClearGPRS1Click", {"Clear GPRS-1 Buffer Completed!"}};
        case CliCommand::ClearGprs2: return {"ClearGPRS2Click", {"Clear GPRS-2 Buffer Completed!"}};
        case CliCommand::ClearGpsLog: return {"ClearGPSLogClick", {"Clear GPS Log Completed!"}};
        case CliCommand::SetMileage: return {"SetMileageClick", {"Set Mileaga Completed!"}};
        case CliCommand::RfidAuth: return {"SET_IDClick", {"Auth ID Completed!"}};
        case CliCommand::RfidDelete: return {"DEL_IDClick", {"Delete ID Completed!"}};
        case CliCommand::RfidCheck: return {"CHK_IDClick", {"Check ID Completed!"}};
        case CliCommand::TempPair:
            return {"Temp_PairClick", {"Temperature Pairing Completed!", "Temperature Deleting Completed!"}};
        default: return {"", {}};
    }
}

// Drives the window logic's clock in real time: Timer1 every 10 ms, Timer2 every
// 1000 ms, received data as soon as it is posted.
class Loop {
public:
    Loop(TForm1& window, QueueMailbox& mailbox) : window_(window), mailbox_(mailbox) {}

    // Runs until `done` says so or `deadline` passes; true when done.
    template <typename Done>
    bool RunUntil(Done done, Clock::time_point deadline) {
        while (!done()) {
            const auto now = Clock::now();
            if (now >= deadline) return false;
            if (now >= nextTick_) {
                window_.Guard([this] { window_.Timer1Timer(); });
                if (++ticks_ % 100 == 0) window_.Guard([this] { window_.Timer2Timer(); });
                nextTick_ += std::chrono::milliseconds(10);
                continue;
            }
            const auto wait = std::min(nextTick_, deadline) - now;
            if (mailbox_.WaitFor(std::chrono::duration_cast<std::chrono::milliseconds>(wait) +
                                 std::chrono::milliseconds(1))) {
                mailbox_.Drain();
            }
        }
        return true;
    }

private:
    TForm1& window_;
    QueueMailbox& mailbox_;
    Clock::time_point nextTick_ = Clock::now() + std::chrono::milliseconds(10);
    unsigned ticks_ = 0;
};

bool EngineIdle(const TransactionEngine& engine) {
    const auto& s = engine.State();
    return s.OperationState == OpIdle && !s.DeviceIdPending && s.TimeoutCount == 0;
}

}  // namespace

int RunCli(const CliOptions& options, std::ostream& out, std::ostream& err,
           const std::string& programDir) {
    if (options.command == CliCommand::Ports) {
        for (const std::string& name : ListSerialPorts()) out << name << '\n';
        return kExitDone;
    }
    if (options.command == CliCommand::Find) return RunFind(options, out, err);

    MemoryForm form;
    ConsoleUi ui(err);
    QueueMailbox mailbox;
    TForm1 window(form, ui, mailbox, programDir);
    std::unique_ptr<TraceFile> trace;
    if (options.trace) {
        try {
            trace = std::make_unique<TraceFile>(*options.trace);
        } catch (const EUsage& e) {
            err << "error: " << e.what() << '\n';
            return kExitNoStart;
        }
        trace->Attach(window.Traffic());
    }

    if (options.load) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(*options.load, ec)) {
            err << "error: settings file not found: " << EscapeValue(*options.load) << '\n';
            return kExitNoStart;
        }
        ui.SetDialogPath(*options.load);
        window.Guard([&] { window.LoadSettings1Click(); });
        if (!ui.Errors().empty()) return kExitNoStart;
    }
    try {
        for (const auto& [name, value] : options.sets) ApplySet(form, name, value);
    } catch (const EUsage& e) {
        err << "error: " << e.what() << '\n';
        return kExitNoStart;
    }
    form.SetText("AuthCode", options.auth);

    if (options.command == CliCommand::Dump) {
        if (!options.group.empty()) {
            PrintGroup(out, form, *FindCliGroup(options.group));
        } else {
            for (const CliGroup& g : CliGroups()) PrintGroup(out, form, g);
        }
        return kExitDone;
    }

    // Connect as the window does: open, then the poll until the connect answer and the
    // automatic Device ID read have finished.
    form.SetText("ComboBox1", options.port);
    try {
        window.OpenPortClick();
    } catch (const ECommsError& e) {
        ShowOpenFailure(ui, e);
        return kExitNoStart;
    } catch (const std::exception& e) {
        ui.ShowError(e.what());
        return kExitNoStart;
    }
    Loop loop(window, mailbox);
    const auto connectDeadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
    const bool connected = loop.RunUntil(
        [&] {
            return !ui.Errors().empty() || window.PortLostState() ||
                   (ui.SawConnected() && EngineIdle(window.Engine()));
        },
        connectDeadline);
    if (window.PortLostState()) {
        err << PortLostLine(window.LostPortName()) << '\n';
        return kExitFailed;
    }
    if (!ui.Errors().empty()) return kExitNoStart;  // the authorization code did not convert
    if (!connected) {
        ui.ShowError("no connect answer from the tracker on " + options.port);
        return kExitFailed;
    }
    if (!ui.Notices().empty()) return kExitFailed;  // "Auth Code Error!": the tracker refused

    if (options.command == CliCommand::Info) {
        PrintControls(out, form, DataControls("TabSheet1"));
        for (const char* name : {"DeviceID", "RFID"}) PrintControls(out, form, {FindControl(name)});
        return kExitDone;
    }

    const Expected expected = ExpectedFor(options);
    const std::size_t errorsBefore = ui.Errors().size();
    const auto started = Clock::now();
    window.Guard([&] { window.Click(expected.handler); });
    if (ui.Errors().size() != errorsBefore) return kExitNoStart;  // refused before sending

    // Every exchange is bounded by the engine's own time-out; the deadline here only
    // guards against a logic that never reports.
    const bool ended = loop.RunUntil(
        [&] { return !ui.Notices().empty() || EngineIdle(window.Engine()) || window.PortLostState(); },
        Clock::now() + std::chrono::seconds(60));
    const auto finished = Clock::now();
    if (window.PortLostState()) {
        err << PortLostLine(window.LostPortName()) << '\n';
        return kExitFailed;
    }
    if (options.timing) {
        err << "timing: " << std::chrono::duration<double>(finished - started).count() << '\n';
    }
    const bool completed = ended && !ui.Notices().empty() &&
                           std::find(expected.completions.begin(), expected.completions.end(),
                                     ui.Notices().front()) != expected.completions.end() &&
                           ui.Errors().size() == errorsBefore;
    if (!completed) return kExitFailed;

    switch (options.command) {
        case CliCommand::Read: PrintGroup(out, form, *FindCliGroup(options.group)); break;
        case CliCommand::ReadAll:
            for (const CliGroup& g : CliGroups()) PrintGroup(out, form, g);
            break;
        case CliCommand::RfidCheck: PrintControls(out, form, {FindControl("RFID_Memo")}); break;
        default: break;
    }
    if (options.file) {
        ui.SetDialogPath(*options.file);
        window.Guard([&] { window.SavetSettings1Click(); });
        if (ui.Errors().size() != errorsBefore) return kExitFailed;
    }
    return kExitDone;
}

}  // namespace quorvane
