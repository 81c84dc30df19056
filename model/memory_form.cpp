#include "model/memory_form.h"

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

namespace quorvane {

namespace {

// Position of each name in the state vector: controls in model order, then tabs.
const std::map<std::string, std::size_t, std::less<>>& Positions() {
    static const std::map<std::string, std::size_t, std::less<>> positions = [] {
        std::map<std::string, std::size_t, std::less<>> m;
        const auto& controls = Controls();
        for (std::size_t i = 0; i < controls.size(); ++i) m.emplace(controls[i].name, i);
        const auto& tabs = Tabs();
        for (std::size_t i = 0; i < tabs.size(); ++i) m.emplace(tabs[i].name, controls.size() + i);
        return m;
    }();
    return positions;
}

std::size_t PositionOf(std::string_view name) {
    const auto& positions = Positions();
    auto it = positions.find(name);
    if (it == positions.end()) throw EUnknownControl(name);
    return it->second;
}

const char* KindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit: return "an edit";
        case ControlKind::CheckBox: return "a check box";
        case ControlKind::ComboBox: return "a combo box";
        case ControlKind::Memo: return "a memo";
        case ControlKind::Button: return "a button";
        case ControlKind::Label: return "a label";
        case ControlKind::GroupBox: return "a group box";
        case ControlKind::ScrollBox: return "a scroll box";
    }
    return "a control";
}

}  // namespace

MemoryForm::MemoryForm() { Reset(); }

void MemoryForm::Reset() {
    states_.clear();
    states_.reserve(Controls().size() + Tabs().size());
    for (const ControlDef& c : Controls()) {
        State s;
        const bool captioned =
            c.kind == ControlKind::Button || c.kind == ControlKind::Label || c.kind == ControlKind::GroupBox;
        s.text = captioned ? c.label : c.text;
        s.items = c.items;
        s.itemIndex = c.itemIndex;
        s.checked = c.checked;
        s.visible = c.visible;
        s.enabled = c.enabled;
        states_.push_back(std::move(s));
    }
    for (const TabDef& t : Tabs()) {
        State s;
        s.text = t.caption;
        states_.push_back(std::move(s));
    }
}

bool MemoryForm::Has(std::string_view name) { return Positions().find(name) != Positions().end(); }

const MemoryForm::State& MemoryForm::At(std::string_view name) const { return states_[PositionOf(name)]; }
MemoryForm::State& MemoryForm::At(std::string_view name) { return states_[PositionOf(name)]; }

const MemoryForm::State& MemoryForm::Expect(std::string_view name, const char* accessor,
                                            std::initializer_list<ControlKind> kinds, bool tabSheets) const {
    const std::size_t pos = PositionOf(name);
    const auto& controls = Controls();
    if (pos >= controls.size()) {
        if (tabSheets) return states_[pos];
        throw std::logic_error(std::string(accessor) + ": '" + std::string(name) + "' is a tab sheet");
    }
    const ControlKind kind = controls[pos].kind;
    if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end())
        throw std::logic_error(std::string(accessor) + ": '" + std::string(name) + "' is " + KindName(kind));
    return states_[pos];
}

MemoryForm::State& MemoryForm::Expect(std::string_view name, const char* accessor,
                                      std::initializer_list<ControlKind> kinds, bool tabSheets) {
    return const_cast<State&>(std::as_const(*this).Expect(name, accessor, kinds, tabSheets));
}

std::string MemoryForm::Text(std::string_view control) const {
    return Expect(control, "Text", {ControlKind::Edit, ControlKind::Memo, ControlKind::ComboBox}).text;
}

void MemoryForm::SetText(std::string_view control, std::string_view text) {
    Expect(control, "SetText", {ControlKind::Edit, ControlKind::Memo, ControlKind::ComboBox}).text = text;
}

bool MemoryForm::Checked(std::string_view control) const {
    return Expect(control, "Checked", {ControlKind::CheckBox}).checked;
}

void MemoryForm::SetChecked(std::string_view control, bool checked) {
    Expect(control, "SetChecked", {ControlKind::CheckBox}).checked = checked;
}

int MemoryForm::ItemIndex(std::string_view control) const {
    return Expect(control, "ItemIndex", {ControlKind::ComboBox}).itemIndex;
}

void MemoryForm::SetItemIndex(std::string_view control, int index) {
    State& s = Expect(control, "SetItemIndex", {ControlKind::ComboBox});
    if (index >= 0 && static_cast<std::size_t>(index) < s.items.size()) {
        s.itemIndex = index;
        s.text = s.items[static_cast<std::size_t>(index)];
    } else {
        s.itemIndex = -1;
        s.text.clear();
    }
}

bool MemoryForm::Enabled(std::string_view control) const { return At(control).enabled; }
void MemoryForm::SetEnabled(std::string_view control, bool enabled) { At(control).enabled = enabled; }
bool MemoryForm::Visible(std::string_view control) const { return At(control).visible; }
void MemoryForm::SetVisible(std::string_view control, bool visible) { At(control).visible = visible; }

std::string MemoryForm::Caption(std::string_view control) const {
    return Expect(control, "Caption", {ControlKind::Label, ControlKind::Button, ControlKind::GroupBox}, true).text;
}

void MemoryForm::SetCaption(std::string_view control, std::string_view caption) {
    Expect(control, "SetCaption", {ControlKind::Label, ControlKind::Button, ControlKind::GroupBox}, true).text =
        caption;
}

std::vector<std::string> MemoryForm::Items(std::string_view control) const {
    return Expect(control, "Items", {ControlKind::ComboBox}).items;
}

void MemoryForm::SetItems(std::string_view control, std::vector<std::string> items) {
    State& s = Expect(control, "SetItems", {ControlKind::ComboBox});
    s.items = std::move(items);
    s.itemIndex = -1;
}

}  // namespace quorvane
