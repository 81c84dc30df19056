#include "station/control_values.h"

#include <exception>
#include <string_view>
#include <vector>

#include "blocks/convert.h"
#include "blocks/field_fit.h"
#include "station/escape.h"

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
    if (!control) throw EBadValue("unknown control '" + name + "'");
    switch (control->kind) {
        case ControlKind::CheckBox:
            if (value != "0" && value != "1") throw EBadValue("--set " + name + " takes 0 or 1");
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
                throw EBadValue("--set " + name + " takes an item index, not '" + value + "'");
            }
            // The window would show an index beyond its items as no selection.
            try {
                CheckIndexFits(name, index, form.Items(name).size());
            } catch (const EDoesNotFit& e) {
                throw EBadValue(e.what());
            }
            form.SetItemIndex(name, index);
            break;
        }
        case ControlKind::Edit:
        case ControlKind::Memo: form.SetText(name, value); break;
        default: throw EBadValue("'" + name + "' is not an edit, check box or combo box");
    }
}

std::vector<const ControlDef*> CommandControls(const StationJob& job) {
    std::vector<const ControlDef*> controls;
    auto addGroup = [&](const Group& g) {
        const auto tab = DataControls(g.tab);
        controls.insert(controls.end(), tab.begin(), tab.end());
    };
    switch (job.command) {
        case JobCommand::Read:
        case JobCommand::Write: addGroup(*FindGroup(job.group)); break;
        case JobCommand::ReadAll:
        case JobCommand::WriteAll:
            for (const Group& g : Groups()) addGroup(g);
            break;
        case JobCommand::Info:
            controls = DataControls("TabSheet1");
            for (const char* name : {"DeviceID", "RFID"}) controls.push_back(FindControl(name));
            break;
        case JobCommand::RfidCheck: controls.push_back(FindControl("RFID_Memo")); break;
        default: break;
    }
    if (job.authHidden)
        std::erase_if(controls, [](const ControlDef* c) { return c->name == std::string_view("AuthCode"); });
    return controls;
}

std::vector<const ControlDef*> PrintedControls(const StationJob& job) {
    switch (job.command) {
        case JobCommand::Read:
        case JobCommand::ReadAll:
        case JobCommand::Info:
        case JobCommand::RfidCheck: return CommandControls(job);
        default: return {};
    }
}

void CheckCommandEncodes(const Form& form, const StationJob& job) {
    const Group* group = nullptr;
    if (job.command == JobCommand::Write) group = FindGroup(job.group);
    if (job.command == JobCommand::WriteAll) group = &AllGroups();
    if (group == nullptr) return;
    EncodeEveryBlock(form, *group);
}

}  // namespace quorvane
