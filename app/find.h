// Find: the controls whose label, name or settings key contains a search text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

struct FindMatch {
    std::string control;     // "TimeInterval"
    std::string tab;         // "TabSheet2"
    std::string tabCaption;  // "GPRS"
    std::string label;       // ControlLabel
    std::string key;         // the settings key, or empty
};

// Case-insensitive search of the data controls (edits, check boxes, combo boxes,
// memos) of every tab, in window order. An empty query matches every control.
// With `only`, a match must also be in it (the changed controls for "Changed only").
std::vector<FindMatch> FindControls(std::string_view query);
std::vector<FindMatch> FindControls(std::string_view query, const std::vector<std::string>& only);

}  // namespace quorvane
