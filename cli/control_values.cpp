#include "cli/control_values.h"

#include <exception>

#include "blocks/blocks.h"
#include "blocks/payload.h"
#include "cli/escape.h"

namespace quorvane {

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

void PrintGroup(std::ostream& out, const Form& form, const Group& group) {
    PrintControls(out, form, DataControls(group.tab));
}

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

std::vector<const ControlDef*> CommandControls(const CliOptions& options) {
    std::vector<const ControlDef*> controls;
    auto addGroup = [&](const Group& g) {
        const auto tab = DataControls(g.tab);
        controls.insert(controls.end(), tab.begin(), tab.end());
    };
    switch (options.command) {
        case CliCommand::Read:
        case CliCommand::Write: addGroup(*FindGroup(options.group)); break;
        case CliCommand::ReadAll:
        case CliCommand::WriteAll:
            for (const Group& g : Groups()) addGroup(g);
            break;
        case CliCommand::Info:
            controls = DataControls("TabSheet1");
            for (const char* name : {"DeviceID", "RFID"}) controls.push_back(FindControl(name));
            break;
        case CliCommand::RfidCheck: controls.push_back(FindControl("RFID_Memo")); break;
        default: break;
    }
    return controls;
}

std::vector<const ControlDef*> PrintedControls(const CliOptions& options) {
    switch (options.command) {
        case CliCommand::Read:
        case CliCommand::ReadAll:
        case CliCommand::Info:
        case CliCommand::RfidCheck: return CommandControls(options);
        default: return {};
    }
}

void CheckCommandEncodes(const Form& form, const CliOptions& options) {
    const Group* group = nullptr;
    if (options.command == CliCommand::Write) group = FindGroup(options.group);
    if (options.command == CliCommand::WriteAll) group = &AllGroups();
    if (group == nullptr) return;
    TxPayload scratch;
    for (BlockId id : group->blocks) EncoderOf(id)(form, scratch);
}

}  // namespace quorvane
