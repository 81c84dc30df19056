#include "app/qt/event_tab.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "model/window_model.h"
#include "blocks/event_catalogue.h"

namespace quorvane {

namespace {

QLabel* PlainLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// GPRS 1 and 2 share a heading, so do Output 1 and 2, and the sms, call and moni
// flags of one authorized number.
bool SameHeading(const EventFlag& a, const EventFlag& b) {
    auto key = [](const EventFlag& f) {
        return (f.group == FlagGroup::Gprs || f.group == FlagGroup::Out) ? static_cast<int>(f.group) * 10
                                                                         : 100 + f.number;
    };
    return key(a) == key(b);
}

QString HeadingTitle(const EventFlag& f) {
    switch (f.group) {
        case FlagGroup::Gprs: return QStringLiteral("GPRS");
        case FlagGroup::Out: return QStringLiteral("Output");
        default: return QStringLiteral("Auth No.%1").arg(f.number);
    }
}

QString SubHeading(const EventFlag& f) {
    switch (f.group) {
        case FlagGroup::Gprs:
        case FlagGroup::Out: return QString::number(f.number);
        case FlagGroup::Sms: return QStringLiteral("sms");
        case FlagGroup::Call: return QStringLiteral("call");
        case FlagGroup::Moni: return QStringLiteral("moni");
    }
    return QString();
}

// Calls `each(first, last)` for the flag columns under one heading.
template <class F>
void ForEachHeading(const std::vector<EventFlag>& flags, F each) {
    for (std::size_t i = 0; i < flags.size();) {
        std::size_t j = i;
        while (j + 1 < flags.size() && SameHeading(flags[i], flags[j + 1])) ++j;
        each(i, j);
        i = j + 1;
    }
}

// Grid columns shared by the heading row and the event rows: the label, the name
// edit, then the 13 flag columns with a narrow gap column between headings.
struct EventColumns {
    int labelWidth = 0;
    int nameWidth = 0;
    int flagWidth = 0;
    int gapWidth = 6;
    int spacing = 2;
    std::vector<int> flagColumn;  // grid column of each flag column 0..12
    int count = 0;                // grid columns in all

    void Apply(QGridLayout& grid) const {
        grid.setHorizontalSpacing(spacing);
        grid.setColumnMinimumWidth(0, labelWidth);
        grid.setColumnMinimumWidth(1, nameWidth);
        for (int c = 2; c < count; ++c) {
            const bool flag = std::find(flagColumn.begin(), flagColumn.end(), c) != flagColumn.end();
            grid.setColumnMinimumWidth(c, flag ? flagWidth : gapWidth);
        }
        grid.setColumnStretch(count, 1);
    }
};

EventColumns Measure(const QFontMetrics& fm, const std::vector<EventRowControl>& rows,
                     const std::vector<EventFlag>& flags, int nameWidth) {
    EventColumns cols;
    for (const EventRowControl& r : rows) {
        if (r.def->kind == ControlKind::Label)
            cols.labelWidth = std::max(cols.labelWidth, fm.horizontalAdvance(r.widget->property("text").toString()) + 6);
    }
    cols.nameWidth = std::max(nameWidth, fm.horizontalAdvance(QStringLiteral("SMS Alarm Name")) + 6);
    cols.flagWidth = QCheckBox().sizeHint().width();
    for (const EventFlag& f : flags) cols.flagWidth = std::max(cols.flagWidth, fm.horizontalAdvance(SubHeading(f)) + 2);
    // A heading's title fits over its columns ("Output" over two).
    ForEachHeading(flags, [&](std::size_t first, std::size_t last) {
        const int n = static_cast<int>(last - first + 1);
        const int title = fm.horizontalAdvance(HeadingTitle(flags[first])) + 12;
        cols.flagWidth = std::max(cols.flagWidth, (title - (n - 1) * cols.spacing + n - 1) / n);
    });
    int column = 2;
    for (std::size_t i = 0; i < flags.size(); ++i) {
        if (i > 0 && !SameHeading(flags[i - 1], flags[i])) ++column;  // gap column
        cols.flagColumn.push_back(column++);
    }
    cols.count = column;
    return cols;
}

}  // namespace

void LayOutEventTab(QWidget& page, QScrollArea& box, const std::vector<EventRowControl>& rows, QBoxLayout* buttons,
                    int nameWidth) {
    auto* layout = new QVBoxLayout(&page);
    layout->setContentsMargins(9, 9, 9, 9);
    layout->setSpacing(0);

    const std::vector<EventFlag>& flags = EventFlagsInColumnOrder();
    const QFontMetrics fm(page.font());
    const EventColumns cols = Measure(fm, rows, flags, nameWidth);
    box.ensurePolished();
    const int rowsMargin = 4;

    // The fixed heading row, in the same columns as the rows below it: titled boxes
    // over the flag columns, with the sub-headings on top of them.
    // It stands in a strip of its own that scrolls sideways with the rows: as wide as
    // the rows' view (the box's frame and vertical scroll bar aside) and with the same
    // margins, so both scroll by the same range and a column stays under its heading.
    auto* headingStrip = new QWidget;
    auto* heading = new QGridLayout(headingStrip);
    heading->setContentsMargins(rowsMargin + box.frameWidth(), 0, rowsMargin, 2);
    heading->setVerticalSpacing(0);
    cols.Apply(*heading);
    heading->setRowMinimumHeight(0, fm.height() + 6);
    heading->setRowMinimumHeight(1, fm.height() + 6);
    heading->addWidget(PlainLabel(QStringLiteral("Event")), 1, 0, Qt::AlignLeft | Qt::AlignVCenter);
    heading->addWidget(PlainLabel(QStringLiteral("SMS Alarm Name")), 1, 1, Qt::AlignLeft | Qt::AlignVCenter);
    ForEachHeading(flags, [&](std::size_t first, std::size_t last) {
        auto* group = new QGroupBox(HeadingTitle(flags[first]));
        group->setAlignment(Qt::AlignHCenter);
        // The columns below set the width, not the title.
        group->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        const int from = cols.flagColumn[first];
        heading->addWidget(group, 0, from, 2, cols.flagColumn[last] - from + 1);
    });
    for (std::size_t i = 0; i < flags.size(); ++i) {
        QLabel* sub = PlainLabel(SubHeading(flags[i]));
        sub->setAlignment(Qt::AlignCenter);
        heading->addWidget(sub, 1, cols.flagColumn[i], Qt::AlignHCenter | Qt::AlignVCenter);
    }
    auto* headingView = new QScrollArea;
    headingView->setObjectName(QStringLiteral("EventHeading"));
    headingView->setFrameShape(QFrame::NoFrame);
    headingView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    headingView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    headingView->setWidget(headingStrip);
    headingView->setWidgetResizable(true);
    headingView->setFixedHeight(headingStrip->sizeHint().height());
    // The window keeps the smallest width it had with a fixed heading row.
    const int besideRows = box.verticalScrollBar()->sizeHint().width() + box.frameWidth();
    headingView->setMinimumWidth(headingStrip->minimumSizeHint().width() - rowsMargin - besideRows);
    headingView->setFocusPolicy(Qt::NoFocus);
    auto* headingRow = new QHBoxLayout;
    headingRow->setContentsMargins(0, 0, 0, 0);
    headingRow->setSpacing(0);
    headingRow->addWidget(headingView, 1);
    headingRow->addSpacing(besideRows);
    layout->addLayout(headingRow);
    QObject::connect(box.horizontalScrollBar(), &QScrollBar::valueChanged, headingView->horizontalScrollBar(),
                     &QScrollBar::setValue);
    QObject::connect(box.horizontalScrollBar(), &QScrollBar::rangeChanged, headingView,
                     [&box, headingView] { headingView->horizontalScrollBar()->setValue(box.horizontalScrollBar()->value()); });

    // One row per event in code order.
    auto* content = new QWidget;
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(rowsMargin, rowsMargin, rowsMargin, rowsMargin);
    grid->setVerticalSpacing(3);
    cols.Apply(*grid);
    int rowCount = 0;
    int rowHeight = QCheckBox().sizeHint().height();
    for (const EventRowControl& r : rows) {
        const ControlDef& c = *r.def;
        rowCount = std::max(rowCount, c.row + 1);
        switch (c.kind) {
            case ControlKind::Label:
                grid->addWidget(r.widget, c.row, 0);
                break;
            case ControlKind::Edit:
                r.widget->setFixedWidth(cols.nameWidth);
                rowHeight = std::max(rowHeight, r.widget->sizeHint().height());
                grid->addWidget(r.widget, c.row, 1);
                break;
            case ControlKind::CheckBox:
                grid->addWidget(r.widget, c.row, cols.flagColumn.at(static_cast<std::size_t>(c.column)),
                                Qt::AlignCenter);
                break;
            default:
                throw std::logic_error("unexpected control '" + c.name + "' in the event rows");
        }
    }
    // Rows without a name edit stand as high as the others.
    for (int r = 0; r < rowCount; ++r) grid->setRowMinimumHeight(r, rowHeight);
    grid->setRowStretch(rowCount, 1);

    box.setWidget(content);
    box.setWidgetResizable(true);
    box.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // One line of the box is one event row.
    box.verticalScrollBar()->setSingleStep(rowHeight + grid->verticalSpacing());
    // A row reached with the keyboard, from inside the box or from the buttons below
    // it, is scrolled into view.
    QObject::connect(qApp, &QApplication::focusChanged, &box, [&box](QWidget*, QWidget* now) {
        if (now != nullptr && box.widget() != nullptr && box.widget()->isAncestorOf(now)) box.ensureWidgetVisible(now);
    });
    layout->addWidget(&box, 1);

    if (buttons != nullptr) layout->addLayout(buttons);
}

}  // namespace quorvane
