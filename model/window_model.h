// The main window as data: every tab and every control with its kind, place, label,
// unit, start value, items, visibility, enabled state, handlers and input rule.
// This table is the single source for the Qt window, the headless MemoryForm, the
// command line's control vocabulary and the tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// ScrollBox: the Event tab's scrolling container `ScrollBox1`; it holds no value.
enum class ControlKind { Edit, CheckBox, ComboBox, Memo, Button, Label, GroupBox, ScrollBox };

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
    std::string handler;  // click handler of a button; `ComboBox1`'s drop-down handler
    InputRule rule;
    int row = -1;     // row in a table-like group (GEO, Temp, Auth numbers, Event, inputs)
    int column = -1;  // column in such a group
    // Where a control's label or unit is a named label of its own (the Interface input
    // rows), its name; the text is then that label's caption, not a separate one.
    std::string labelControl;
    std::string unitControl;
};

// Row and column hints of the table-like groups:
// - GEO (`GeoFenceGroup`): row = fence - 1; column 0 Name, 1 Out Alarm, 2 In Alarm,
//   3 Radius(m), 4 Latitude, 5 Longitude (the No. column shows row + 1).
// - Temp (`TempSensorGroup`): row = sensor - 1; column 0 Name, 1 Sensor ID,
//   2 High Alarm(*C), 3 Low Alarm(*C) (the Index column shows row + 1).
// - Auth numbers (`GroupBox4`): row 0 Number, 1 Auto Answer, 2 Auto Monitor,
//   3 Auto Hangup, 4 SMS Position; column = number - 1.
// - Interface inputs (`GroupBox14`): row = input - 1; column 0 row label, 1 mode box,
//   2 "Active Time" label, 3 time box, 4 "ms" label.
// - Event rows (`ScrollBox1`): row = position in code order; the check boxes have the
//   flag's column 0..12 (EventFlagsInColumnOrder); the row's label and name edit have
//   column -1 (they stand before the flag columns, label first).

// Headings a table-like group draws around its controls' row and column hints.
struct TableHeadings {
    std::string group;                      // "GeoFenceGroup", "TempSensorGroup", "GroupBox4", "ScrollBox1"
    std::string numberHeading;              // heading of a row-number column showing row + 1 ("No."); or empty
    std::vector<std::string> leading;       // headings of the columns before column 0 (Event: label, name edit)
    std::vector<std::string> columnGroups;  // super-heading per column (Event: "GPRS", "Auth No.1", ...); or empty
    std::vector<std::string> columns;       // heading per column
    std::vector<std::string> rows;          // row labels where rows are named (Auth numbers); or empty
};

const std::vector<TabDef>& Tabs();
// Every control in window order: tab by tab, top to bottom, left to right.
const std::vector<ControlDef>& Controls();
// nullptr when no control has this name.
const ControlDef* FindControl(std::string_view name);
// The data controls (edits, check boxes, combo boxes) of one tab in window order;
// `tab` is the tab sheet name.
std::vector<const ControlDef*> DataControls(std::string_view tab);

// The headed tables: GEO, Temp, Auth numbers, Event rows.
const std::vector<TableHeadings>& Tables();
// nullptr when `group` is not a headed table.
const TableHeadings* FindTable(std::string_view group);

// The 21 buttons enabled only while the port is open, in their fixed order.
const std::vector<std::string>& LinkButtons();
// The controls FormCreate disables for good; the form itself has them enabled.
const std::vector<std::string>& DisabledAtCreate();
// The name of an event row's label on the Event tab: "EventLabel17".
std::string EventLabelName(int code);

}  // namespace quorvane
