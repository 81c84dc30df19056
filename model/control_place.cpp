#include "model/control_place.h"

#include "model/window_model.h"

namespace quorvane {

namespace {

std::string TabCaption(std::string_view tab) {
    for (const TabDef& t : Tabs())
        if (t.name == tab) return t.caption;
    return std::string(tab);
}

// A label that stands alone, or the label of the control's own caption control.
std::string OwnLabel(const ControlDef& c) {
    if (!c.labelControl.empty())
        if (const ControlDef* l = FindControl(c.labelControl); l && !l->label.empty()) return l->label;
    return c.label.empty() ? c.name : c.label;
}

// The row's name where one label is repeated down a table: the row number under the
// table's number heading, or the caption of the row's first label (the input rows).
std::string RowName(const ControlDef& c) {
    if (c.row < 0) return {};
    if (const TableHeadings* table = FindTable(c.group)) {
        if (table->numberHeading.empty()) return {};
        return table->numberHeading + " " + std::to_string(c.row + 1);
    }
    if (c.column <= 0) return {};
    for (const ControlDef& other : Controls()) {
        if (other.group == c.group && other.row == c.row && other.column == 0 && other.name != c.name)
            return other.label;
    }
    return {};
}

}  // namespace

std::optional<ControlPlace> PlaceOfControl(std::string_view control) {
    const ControlDef* c = FindControl(control);
    if (!c) return std::nullopt;
    ControlPlace place;
    place.control = c->name;
    place.tab = TabCaption(c->tab);
    const std::string row = RowName(*c);
    place.label = row.empty() ? OwnLabel(*c) : row + " " + OwnLabel(*c);
    place.visible = c->visible;
    return place;
}

}  // namespace quorvane
