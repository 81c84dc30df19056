// The main window as data: every tab and every control with its kind, place, label,
// unit, start value, items, visibility, enabled state, handlers and input rule.
// This table is the single source for the Qt window, the headless MemoryForm, the
// command line's control vocabulary and the tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

enum class ControlKind { Edit, CheckBox, ComboBox, Memo, Button, Label, GroupBox };

// Key filter kinds of the edit boxes that filter typed characters.
enum class KeyFilter {
    None,
    Digits,             // "0"-"9"
    Decimal,            // "0"-"9" and "."
    Signed,             // "0"-"9" and "-"
    Coordinate,         // "0"-"9", "+", "-" and "."
    Alphanumeric,       // "0"-"9", "A"-"Z", "a"-"z"
    LengthLimit,        // any character below `limit` characters
    AlphanumericLimit,  // alphanumeric, and nothing but backspace at `limit` or more
};

struct InputRule {
    KeyFilter filter = KeyFilter::None;
    int limit = 0;              // for the two limit kinds
    bool hasLeaveRule = false;  // an empty text is replaced when the box is left
    std::string replacement;    // "0", or "2" for SensorSen
    std::string keyHandler;     // e.g. "TimeIntervalKeyPress"
    std::string exitHandler;    // e.g. "TimeIntervalExit"
};

struct TabDef {
    std::string name;     // "TabSheet1"
    std::string caption;  // "Info"
};

struct ControlDef {
    std::string name;
    ControlKind kind = ControlKind::Edit;
    std::string tab;    // tab sheet name
    std::string group;  // name of the group box the control sits in; empty for none
    std::string label;  // the text naming the control on screen; a button's, label's or group box's caption
    std::string unit;   // unit shown beside the box
    std::string text;   // start text: an edit's or memo's text, a combo box's shown text
    int itemIndex = -1;  // a combo box's start selection
    std::vector<std::string> items;
    bool checked = false;   // a check box's start state
    bool tristate = false;  // allows the grayed third state
    bool visible = true;
    bool enabled = true;
    std::string handler;  // click handler of a button
    InputRule rule;
    int row = -1;     // row in a table-like group (GEO, Temp, Auth numbers, Event, inputs)
    int column = -1;  // column in such a group
};

const std::vector<TabDef>& Tabs();
// Every control in window order: tab by tab, top to bottom, left to right.
const std::vector<ControlDef>& Controls();
// nullptr when no control has this name.
const ControlDef* FindControl(std::string_view name);
// The data controls (edits, check boxes, combo boxes) of one tab in window order;
// `tab` is the tab sheet name.
std::vector<const ControlDef*> DataControls(std::string_view tab);

}  // namespace quorvane
