// Builds the nine tab sheets and every control of the window model as real widgets,
// each named after its control, laid out in labelled groups and aligned columns.
#pragma once

class QScrollArea;
class QTabWidget;

namespace quorvane {

class InputRuleFilter;
class PortComboBox;

struct BuiltPages {
    QScrollArea* eventBox = nullptr;  // ScrollBox1
    PortComboBox* portBox = nullptr;  // ComboBox1
};

// Adds the tab sheets to `pages`; `rules` watches every edit that has an input rule.
BuiltPages BuildPages(QTabWidget& pages, InputRuleFilter& rules);

}  // namespace quorvane
