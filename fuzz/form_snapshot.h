// Every control's value as one comparable record, to tell whether a call changed
// the window.
#pragma once

#include <string>
#include <vector>

#include "seams/form.h"
#include "model/window_model.h"

namespace quorvane::fuzz {

inline std::vector<std::string> Snapshot(const Form& form) {
    std::vector<std::string> out;
    out.reserve(Controls().size());
    for (const ControlDef& c : Controls()) {
        std::string v = c.name + "=";
        switch (c.kind) {
        case ControlKind::Edit:
        case ControlKind::Memo: v += form.Text(c.name); break;
        case ControlKind::CheckBox: v += form.Checked(c.name) ? "1" : "0"; break;
        case ControlKind::ComboBox: v += std::to_string(form.ItemIndex(c.name)) + "|" + form.Text(c.name); break;
        case ControlKind::Label:
        case ControlKind::Button:
        case ControlKind::GroupBox: v += form.Caption(c.name); break;
        case ControlKind::ScrollBox: break;
        }
        v += form.Visible(c.name) ? "|v" : "|h";
        v += form.Enabled(c.name) ? "e" : "d";
        out.push_back(std::move(v));
    }
    return out;
}

}  // namespace quorvane::fuzz
