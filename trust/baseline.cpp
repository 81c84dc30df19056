#include "trust/baseline.h"

#include <algorithm>

#include "trust/stored_value.h"
#include "model/window_model.h"

namespace quorvane {

void Baseline::Take(const Form& form, const std::vector<BlockId>& blocks) {
    for (const StoredUnit& u : StoredUnits()) {
        if (std::find(blocks.begin(), blocks.end(), u.block) == blocks.end()) continue;
        std::optional<std::string> stored = StoredValueOf(form, u);
        // Only a text that does not convert is kept as text.
        values_[u.control] = Value{stored, stored ? std::string() : form.Text(u.control)};
    }
}

void Baseline::Clear() { values_.clear(); }

bool Baseline::Changed(const Form& form, const std::string& control) const {
    const auto it = values_.find(control);
    if (it == values_.end()) return false;
    const StoredUnit* unit = FindStoredUnit(control);
    if (unit == nullptr) return false;
    const std::optional<std::string> now = StoredValueOf(form, *unit);
    if (now && it->second.stored) return *now != *it->second.stored;
    if (!now && !it->second.stored) return form.Text(control) != it->second.text;
    return true;
}

std::vector<std::string> Baseline::ChangedControls(const Form& form) const {
    std::vector<std::string> changed;
    if (values_.empty()) return changed;
    for (const ControlDef& c : Controls())
        if (Changed(form, c.name)) changed.push_back(c.name);
    return changed;
}

std::vector<std::string> Baseline::ChangedTabs(const Form& form) const {
    std::vector<std::string> tabs;
    for (const std::string& name : ChangedControls(form)) {
        const ControlDef* c = FindControl(name);
        if (c != nullptr && std::find(tabs.begin(), tabs.end(), c->tab) == tabs.end()) tabs.push_back(c->tab);
    }
    return tabs;
}

}  // namespace quorvane
