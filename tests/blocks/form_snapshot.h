// Every value, caption and visibility of a form, to show that an operation changed
// nothing, or only what it should.
#pragma once

#include <map>
#include <string>

#include "seams/form.h"
#include "model/window_model.h"

namespace quorvane::test {

inline std::map<std::string, std::string> Snapshot(const Form& form) {
    std::map<std::string, std::string> values;
    for (const ControlDef& c : Controls()) {
        std::string v;
        switch (c.kind) {
        case ControlKind::Edit:
        case ControlKind::Memo:
            v = "text:" + form.Text(c.name);
            break;
        case ControlKind::CheckBox:
            v = form.Checked(c.name) ? "checked" : "clear";
            break;
        case ControlKind::ComboBox:
            v = std::to_string(form.ItemIndex(c.name)) + ":" + form.Text(c.name);
            break;
        case ControlKind::Label:
        case ControlKind::Button:
        case ControlKind::GroupBox:
            v = "caption:" + form.Caption(c.name);
            break;
        default:
            break;
        }
        v += form.Visible(c.name) ? "" : " hidden";
        values[c.name] = v;
    }
    return values;
}

// The names whose entries differ between two snapshots.
inline std::string Changed(const std::map<std::string, std::string>& before,
                           const std::map<std::string, std::string>& after) {
    std::string names;
    for (const auto& [name, value] : before) {
        auto it = after.find(name);
        if (it == after.end() || it->second != value) names += name + " ";
    }
    return names;
}

}  // namespace quorvane::test
