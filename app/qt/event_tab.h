// The Event tab: a heading row of group boxes, which scrolls sideways with the rows
// but stays in place when they scroll down, over the scroll box ScrollBox1,
// which holds one row per event (its label, its name edit, its flag check boxes),
// every check box under the heading of its flag.
#pragma once

#include <vector>

class QBoxLayout;
class QScrollArea;
class QWidget;

namespace quorvane {

struct ControlDef;

struct EventRowControl {
    const ControlDef* def;  // with its row, and its flag column for a check box
    QWidget* widget;
};

// Lays out `page`; `buttons` (may be null) goes below the box. A name edit is at least
// `nameWidth` wide.
void LayOutEventTab(QWidget& page, QScrollArea& box, const std::vector<EventRowControl>& rows, QBoxLayout* buttons,
                    int nameWidth);

}  // namespace quorvane
