#include "app/find.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "trust/stored_value.h"
#include "model/window_model.h"
#include "settings/settings_file.h"

namespace quorvane {

namespace {

bool IsDataControl(ControlKind kind) {
    return kind == ControlKind::Edit || kind == ControlKind::CheckBox || kind == ControlKind::ComboBox ||
           kind == ControlKind::Memo;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The first settings key of each control: "GPRS1 Time Interval".
const std::map<std::string, std::string, std::less<>>& KeysByControl() {
    static const std::map<std::string, std::string, std::less<>> keys = [] {
        std::map<std::string, std::string, std::less<>> m;
        for (const SettingsKey& k : SettingsKeys()) m.emplace(k.control, k.key);
        return m;
    }();
    return keys;
}

}  // namespace

std::vector<FindMatch> FindControls(std::string_view query) {
    const std::string needle = Lower(query);
    std::vector<FindMatch> matches;
    for (const ControlDef& c : Controls()) {
        if (!IsDataControl(c.kind) || c.tab.empty() || c.name == "ComboBox1") continue;
        const auto key = KeysByControl().find(c.name);
        FindMatch m{c.name, c.tab, TabCaption(c.tab), ControlLabel(c),
                    key == KeysByControl().end() ? std::string() : key->second};
        if (needle.empty() || Lower(m.label).find(needle) != std::string::npos ||
            Lower(m.control).find(needle) != std::string::npos || Lower(m.key).find(needle) != std::string::npos)
            matches.push_back(std::move(m));
    }
    return matches;
}

std::vector<FindMatch> FindControls(std::string_view query, const std::vector<std::string>& only) {
    std::vector<FindMatch> matches = FindControls(query);
    std::erase_if(matches, [&](const FindMatch& m) {
        return std::find(only.begin(), only.end(), m.control) == only.end();
    });
    return matches;
}

}  // namespace quorvane
