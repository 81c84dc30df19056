#include "app/qt/tab_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/qt/event_tab.h"
#include "app/qt/input_rule_filter.h"
#include "app/qt/port_combo_box.h"
#include "model/window_model.h"

#include "app/qt/latin1.h"

namespace quorvane {

namespace {

using Defs = std::vector<const ControlDef*>;


bool IsField(const ControlDef& c) {
    return c.kind == ControlKind::Edit || c.kind == ControlKind::ComboBox || c.kind == ControlKind::CheckBox ||
           c.kind == ControlKind::Memo;
}

bool IsLinkButton(const ControlDef& c) {
    const auto& link = LinkButtons();
    return c.kind == ControlKind::Button && std::find(link.begin(), link.end(), c.name) != link.end();
}

bool IsContainer(const ControlDef& c) {
    return c.kind == ControlKind::GroupBox || c.kind == ControlKind::ScrollBox;
}

QLabel* PlainLabel(const QString& text, QWidget* parent = nullptr) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A label that names a control or gives its unit: shown and hidden with the control.
QLabel* CompanionLabel(const std::string& text, QWidget& control, const ControlDef& c) {
    QLabel* label = PlainLabel(ToQt(text));
    label->setBuddy(&control);
    if (!c.visible) label->setVisible(false);
    return label;
}

// Rows of label and field in aligned columns, the unit right beside its field and a
// field's button in a column of its own. Rows whose controls are hidden take no room.
class FormGrid {
public:
    enum Column { kLabel, kField, kButton, kStretch };

    FormGrid() : grid_(new QGridLayout) {
        grid_->setColumnStretch(kStretch, 1);
        grid_->setHorizontalSpacing(8);
        grid_->setVerticalSpacing(6);
    }

    QGridLayout* Layout() const { return grid_; }

    int Add(QWidget& field, const ControlDef& c, bool withLabel = true) {
        const int row = rows_++;
        if (withLabel && !c.label.empty()) grid_->addWidget(CompanionLabel(c.label, field, c), row, kLabel);
        auto* cell = new QHBoxLayout;
        cell->setSpacing(6);
        cell->addWidget(&field);
        if (!c.unit.empty()) cell->addWidget(CompanionLabel(c.unit, field, c));
        cell->addStretch(1);
        grid_->addLayout(cell, row, kField);
        return row;
    }

    void Attach(int row, QWidget& button) { grid_->addWidget(&button, row, kButton); }

    // An empty row of the given height, to keep rows level with a neighbouring group.
    void Gap(int height) { grid_->setRowMinimumHeight(rows_++, height); }

    void Level(int row, int height) { grid_->setRowMinimumHeight(row, height); }

private:
    QGridLayout* grid_;
    int rows_ = 0;
};

class PagesBuilder {
public:
    PagesBuilder(QTabWidget& pages, InputRuleFilter& rules) : pages_(pages), rules_(rules) {}

    BuiltPages Build() {
        for (const TabDef& tab : Tabs()) {
            auto* page = new QWidget;
            page->setObjectName(ToQt(tab.name));
            pageOf_[tab.name] = page;
            pages_.addTab(page, ToQt(tab.caption));
        }
        for (const ControlDef& c : Controls()) Make(c);
        Measure();

        BuildInfo();
        BuildGprs();
        BuildMain();
        BuildInterface();
        BuildRfid();
        BuildTemp();
        BuildAuth();
        BuildGeo();
        BuildEvent();
        SetKeyboardOrder();

        for (const ControlDef& c : Controls()) {
            if (!placed_.count(c.name)) throw std::logic_error("control '" + c.name + "' has no place on its tab");
        }
        pages_.setCurrentIndex(0);
        return built_;
    }

private:
    // --- widgets -------------------------------------------------------------------

    void Make(const ControlDef& c) {
        QWidget* parent = pageOf_.at(c.tab);
        QWidget* w = nullptr;
        switch (c.kind) {
            case ControlKind::Edit: {
                auto* edit = new QLineEdit(ToQt(c.text), parent);
                edit->setValidator(new Latin1Validator(edit));
                if (c.rule.filter != KeyFilter::None || c.rule.hasLeaveRule) rules_.Watch(*edit, c.rule);
                w = edit;
                break;
            }
            case ControlKind::CheckBox: {
                auto* box = new QCheckBox(parent);
                box->setTristate(c.tristate);
                box->setCheckState(c.checked ? Qt::Checked : Qt::Unchecked);
                w = box;
                break;
            }
            case ControlKind::ComboBox: {
                QComboBox* combo = nullptr;
                if (c.handler == "ComboBox1DropDown") {
                    built_.portBox = new PortComboBox(parent);
                    combo = built_.portBox;
                } else {
                    combo = new QComboBox(parent);
                }
                SetUpCombo(*combo, c);
                w = combo;
                break;
            }
            case ControlKind::Memo: {
                auto* memo = new QPlainTextEdit(ToQt(c.text), parent);
                memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                // Tab leaves the card list as it leaves every other box.
                memo->setTabChangesFocus(true);
                w = memo;
                break;
            }
            case ControlKind::Button: {
                auto* button = new QPushButton(ToQt(c.label), parent);
                button->setAutoDefault(false);
                w = button;
                break;
            }
            case ControlKind::Label:
                w = PlainLabel(ToQt(c.label), parent);
                break;
            case ControlKind::GroupBox:
                w = new QGroupBox(ToQt(c.label), parent);
                break;
            case ControlKind::ScrollBox: {
                auto* box = new QScrollArea(parent);
                // The rows take the focus, not the box around them.
                box->setFocusPolicy(Qt::NoFocus);
                built_.eventBox = box;
                w = box;
                break;
            }
        }
        w->setObjectName(ToQt(c.name));
        if (!c.enabled) w->setEnabled(false);
        if (!c.visible) w->setVisible(false);
        widgets_[c.name] = w;
    }

    static void SetUpCombo(QComboBox& combo, const ControlDef& c) {
        combo.setEditable(true);
        // Typed text never becomes an item of the fixed lists.
        combo.setInsertPolicy(QComboBox::NoInsert);
        for (const std::string& item : c.items) combo.addItem(ToQt(item));
        combo.setCurrentIndex(c.itemIndex);
        combo.setEditText(ToQt(c.text));
        // The selection follows what the box shows: text the user types selects the
        // item it names, or none. Programmatic changes block this signal.
        QObject::connect(&combo, &QComboBox::editTextChanged, &combo, [&combo](const QString& text) {
            const int match = combo.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (match == combo.currentIndex()) return;
            QLineEdit* edit = combo.lineEdit();
            const int cursor = edit->cursorPosition();
            const QSignalBlocker block(&combo);
            combo.setCurrentIndex(match);
            if (edit->text() != text) edit->setText(text);
            edit->setCursorPosition(cursor);
        });
    }

    QWidget& W(const std::string& name) {
        auto it = widgets_.find(name);
        if (it == widgets_.end()) throw std::logic_error("no widget for control '" + name + "'");
        placed_.insert(name);
        return *it->second;
    }
    QWidget& W(const ControlDef& c) { return W(c.name); }

    QGroupBox& Group(const std::string& name) { return static_cast<QGroupBox&>(W(name)); }

    // Controls of a tab that sit in `group` ("" for those outside any group), in window
    // order, without the group boxes themselves.
    static Defs Members(const std::string& tab, const std::string& group) {
        Defs out;
        for (const ControlDef& c : Controls()) {
            if (c.tab == tab && c.group == group && !IsContainer(c)) out.push_back(&c);
        }
        return out;
    }

    void Measure() {
        QLineEdit edit;
        QComboBox combo;
        combo.setEditable(true);
        rowHeight_ = std::max(edit.sizeHint().height(), combo.sizeHint().height());
        const QFontMetrics fm(edit.font());
        charWidth_ = fm.horizontalAdvance(QLatin1Char('0'));
    }

    // --- layout pieces ---------------------------------------------------------------

    // The page's content in a scroll area, so that nothing is cut off in a small window,
    // with the tab's own buttons below it.
    QVBoxLayout* Page(const std::string& tab, bool buttonBar = true) {
        QWidget* page = pageOf_.at(tab);
        auto* outer = new QVBoxLayout(page);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->setSpacing(0);
        auto* scroll = new QScrollArea;
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setFocusPolicy(Qt::NoFocus);
        scroll->setWidgetResizable(true);
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        layout->setContentsMargins(9, 9, 9, 6);
        layout->setSpacing(8);
        scroll->setWidget(content);
        outer->addWidget(scroll, 1);
        if (QHBoxLayout* bar = buttonBar ? ButtonBar(tab) : nullptr) {
            bar->setContentsMargins(9, 6, 9, 9);
            outer->addLayout(bar);
        }
        return layout;
    }

    // The tab's own Read / Write (and the like) buttons, at the bottom right.
    QHBoxLayout* ButtonBar(const std::string& tab) {
        Defs buttons;
        for (const ControlDef* c : Members(tab, "")) {
            if (IsLinkButton(*c)) buttons.push_back(c);
        }
        if (buttons.empty()) return nullptr;
        auto* bar = new QHBoxLayout;
        bar->addStretch(1);
        for (const ControlDef* c : buttons) {
            QWidget& b = W(*c);
            b.setMinimumWidth(charWidth_ * 11);
            bar->addWidget(&b);
        }
        return bar;
    }

    // One width for the edits of a column: the widest wanted one (an edit's minimum
    // width, ten digits when not set).
    int EditWidth(const Defs& defs) const {
        int width = 0;
        for (const ControlDef* c : defs) {
            const QWidget* w = widgets_.at(c->name);
            if (c->kind == ControlKind::Edit) width = std::max(width, w->minimumWidth() > 0 ? w->minimumWidth() : charWidth_ * 10);
        }
        return width;
    }

    // Wide enough for the longest item and the start text.
    int ComboWidth(const ControlDef& c) const {
        const QWidget* combo = widgets_.at(c.name);
        const QFontMetrics fm(combo->font());
        int text = fm.horizontalAdvance(ToQt(c.text));
        for (const std::string& item : c.items) text = std::max(text, fm.horizontalAdvance(ToQt(item)));
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = true;
        option.frame = true;
        // The embedded line edit's own margins and cursor.
        const QSize contents(text + 8, fm.height());
        return combo->style()->sizeFromContents(QStyle::CT_ComboBox, &option, contents, combo).width();
    }

    // Edits get one width; a combo box is as wide as its items need, and at least as
    // wide as the edits.
    void SetFieldWidth(const Defs& defs, int editWidth) {
        for (const ControlDef* c : defs) {
            QWidget* w = widgets_.at(c->name);
            if (c->kind == ControlKind::Edit) w->setFixedWidth(editWidth);
            if (c->kind == ControlKind::ComboBox)
                w->setFixedWidth(std::max({editWidth, ComboWidth(*c), w->minimumWidth()}));
        }
    }

    // Fields of `defs` in a form grid; a button that is not one of the tab's own stands
    // beside the field before it, the group's other buttons in a row below.
    QLayout* Form(const Defs& defs, FormGrid& grid, bool withLabels = true) {
        SetFieldWidth(defs, EditWidth(defs));
        int lastRow = -1;
        Defs rowButtons;
        for (const ControlDef* c : defs) {
            if (IsField(*c)) {
                lastRow = grid.Add(W(*c), *c, withLabels);
            } else if (c->kind == ControlKind::Button && !IsLinkButton(*c) && lastRow >= 0) {
                grid.Attach(lastRow, W(*c));
            } else if (c->kind == ControlKind::Button && (!c->group.empty() || !IsLinkButton(*c))) {
                rowButtons.push_back(c);
            }
        }
        if (rowButtons.empty()) return grid.Layout();
        auto* box = new QVBoxLayout;
        box->setSpacing(6);
        box->addLayout(grid.Layout());
        auto* row = new QHBoxLayout;
        for (const ControlDef* c : rowButtons) {
            QWidget& b = W(*c);
            b.setMinimumWidth(charWidth_ * 10);
            row->addWidget(&b);
        }
        row->addStretch(1);
        box->addLayout(row);
        return box;
    }

    QGroupBox& FormGroup(const std::string& tab, const std::string& group) {
        QGroupBox& box = Group(group);
        FormGrid grid;
        box.setLayout(Form(Members(tab, group), grid));
        return box;
    }

    // Groups side by side whose rows of the same label stand level; with `sharedLabels`
    // only the first group shows the labels.
    void Parallel(const std::string& tab, const std::vector<std::string>& groups, QBoxLayout& into,
                  bool sharedLabels) {
        // The rows: every label of every group, in the order the groups give them.
        std::vector<std::string> rows;
        for (const std::string& g : groups) {
            auto at = rows.begin();
            for (const ControlDef* c : Members(tab, g)) {
                if (!IsField(*c)) continue;
                auto found = std::find(rows.begin(), rows.end(), c->label);
                if (found == rows.end()) {
                    at = rows.insert(at, c->label) + 1;
                } else {
                    at = found + 1;
                }
            }
        }
        // A row is shown when any group shows its control.
        std::map<std::string, bool> shown;
        for (const std::string& g : groups) {
            for (const ControlDef* c : Members(tab, g)) {
                if (IsField(*c)) shown[c->label] = shown[c->label] || c->visible;
            }
        }
        Defs all;
        for (const std::string& g : groups) {
            const Defs members = Members(tab, g);
            all.insert(all.end(), members.begin(), members.end());
        }
        SetFieldWidth(all, EditWidth(all));
        for (std::size_t i = 0; i < groups.size(); ++i) {
            QGroupBox& box = Group(groups[i]);
            FormGrid grid;
            const Defs members = Members(tab, groups[i]);
            for (const std::string& label : rows) {
                auto it = std::find_if(members.begin(), members.end(),
                                       [&](const ControlDef* c) { return IsField(*c) && c->label == label; });
                if (it == members.end()) {
                    if (shown[label]) grid.Gap(rowHeight_);
                    continue;
                }
                const int row = grid.Add(W(**it), **it, !sharedLabels || i == 0);
                if (shown[label]) grid.Level(row, rowHeight_);
            }
            box.setLayout(grid.Layout());
            into.addWidget(&box, 0, Qt::AlignTop);
        }
    }

    // A table of controls placed by their row and column hints, under `headings` (one
    // per column), with a numbering column first when `numbering` is given.
    QGridLayout* Table(const Defs& defs, const std::vector<QString>& headings, const QString& numbering) {
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(8);
        grid->setVerticalSpacing(6);
        const int first = numbering.isEmpty() ? 0 : 1;
        if (!numbering.isEmpty()) grid->addWidget(PlainLabel(numbering), 0, 0, Qt::AlignCenter);
        for (std::size_t i = 0; i < headings.size(); ++i)
            grid->addWidget(PlainLabel(headings[i]), 0, first + static_cast<int>(i), Qt::AlignCenter);
        int rows = 0;
        for (const ControlDef* c : defs) {
            const int row = c->row + 1;
            rows = std::max(rows, c->row + 1);
            QWidget& w = W(*c);
            const Qt::Alignment align = c->kind == ControlKind::CheckBox ? Qt::AlignCenter : Qt::Alignment();
            grid->addWidget(&w, row, first + c->column, align);
        }
        if (!numbering.isEmpty()) {
            for (int r = 0; r < rows; ++r)
                grid->addWidget(PlainLabel(QString::number(r + 1)), r + 1, 0, Qt::AlignCenter);
        }
        grid->setColumnStretch(first + static_cast<int>(headings.size()), 1);
        return grid;
    }

    // Column headings from the labels of the controls in the table's first row.
    static std::vector<QString> HeadingsOf(const Defs& defs) {
        std::vector<QString> headings;
        for (const ControlDef* c : defs) {
            if (c->row != 0 || c->column < 0) continue;
            if (static_cast<int>(headings.size()) <= c->column) headings.resize(static_cast<std::size_t>(c->column) + 1);
            headings[static_cast<std::size_t>(c->column)] = ToQt(c->label);
        }
        return headings;
    }

    void SetWidth(const Defs& defs, int column, int chars) {
        for (const ControlDef* c : defs) {
            if (c->column == column) W(*c).setMinimumWidth(charWidth_ * chars);
        }
    }

    // --- the tabs --------------------------------------------------------------------

    void BuildInfo() {
        const std::string tab = "TabSheet1";
        QVBoxLayout* page = Page(tab);

        auto* top = new QHBoxLayout;
        built_.portBox->setMinimumWidth(charWidth_ * 18);
        QGroupBox& com = FormGroup(tab, "ComGroup");
        top->addWidget(&com, 0, Qt::AlignTop);
        top->addWidget(&FormGroup(tab, "OperationGroup"), 0, Qt::AlignTop);
        top->addStretch(1);
        page->addLayout(top);

        // The tracker's identity and counters, with the buttons that clear or set them.
        auto* device = new QGroupBox(QStringLiteral("Device Information"));
        FormGrid grid;
        Defs defs;
        for (const ControlDef* c : Members(tab, "")) {
            if (!IsLinkButton(*c)) defs.push_back(c);
        }
        for (const ControlDef* c : defs) {
            if (c->kind == ControlKind::Edit) W(*c).setMinimumWidth(charWidth_ * 28);
        }
        device->setLayout(Form(defs, grid));
        auto* row = new QHBoxLayout;
        row->addWidget(device);
        row->addStretch(1);
        page->addLayout(row);
        page->addStretch(1);
    }

    void BuildGprs() {
        const std::string tab = "TabSheet2";
        QVBoxLayout* page = Page(tab);

        FormGrid top;
        Defs defs = Members(tab, "");
        for (const ControlDef* c : defs) {
            if (c->kind == ControlKind::Edit) W(*c).setMinimumWidth(charWidth_ * 34);
        }
        page->addLayout(Form(defs, top));

        auto* servers = new QHBoxLayout;
        for (const char* g : {"GroupBox3", "GroupBox5"}) {
            for (const ControlDef* c : Members(tab, g)) {
                if (c->kind == ControlKind::Edit) W(*c).setMinimumWidth(charWidth_ * 20);
            }
        }
        Parallel(tab, {"GroupBox3", "GroupBox5"}, *servers, false);
        servers->addStretch(1);
        page->addLayout(servers);
        page->addStretch(1);
    }

    void BuildMain() {
        const std::string tab = "TabSheet3";
        QVBoxLayout* page = Page(tab);

        // Two columns, split in window order where half of the shown fields are placed.
        Defs fields;
        for (const ControlDef* c : Members(tab, "")) {
            if (IsField(*c)) fields.push_back(c);
        }
        const auto shown = std::count_if(fields.begin(), fields.end(), [](const ControlDef* c) { return c->visible; });
        Defs left;
        Defs right;
        long placed = 0;
        for (const ControlDef* c : fields) {
            (placed < (shown + 1) / 2 ? left : right).push_back(c);
            if (c->visible) ++placed;
        }
        auto* columns = new QHBoxLayout;
        columns->setSpacing(24);
        for (const Defs* half : {&left, &right}) {
            FormGrid grid;
            for (const ControlDef* c : *half) {
                if (c->kind == ControlKind::Edit) W(*c).setMinimumWidth(charWidth_ * 12);
            }
            columns->addLayout(Form(*half, grid));
        }
        columns->addStretch(1);
        page->addLayout(columns);
        page->addStretch(1);
    }

    void BuildInterface() {
        const std::string tab = "TabSheet8";
        QVBoxLayout* page = Page(tab);

        auto* upper = new QHBoxLayout;
        Parallel(tab, {"GroupBox12", "GroupBox13"}, *upper, true);
        upper->addSpacing(8);
        upper->addWidget(&FormGroup(tab, "GroupBox18"), 0, Qt::AlignTop);
        upper->addStretch(1);
        page->addLayout(upper);

        auto* lower = new QHBoxLayout;
        QGroupBox& inputs = Group("GroupBox14");
        const Defs inputDefs = Members(tab, "GroupBox14");
        for (const ControlDef* c : inputDefs) {
            if (c->kind == ControlKind::Edit) W(*c).setMaximumWidth(charWidth_ * 9);
        }
        inputs.setLayout(Table(inputDefs, {}, QString()));
        lower->addWidget(&inputs, 0, Qt::AlignTop);
        lower->addSpacing(8);
        Parallel(tab, {"GroupBox16", "GroupBox17"}, *lower, true);
        lower->addStretch(1);
        page->addLayout(lower);
        page->addStretch(1);
    }

    // The card list with the buttons that send it beside it.
    void BuildRfid() {
        const std::string tab = "TabSheet7";
        QVBoxLayout* page = Page(tab, false);
        const Defs defs = Members(tab, "");
        FormGrid grid;
        Defs fields;
        for (const ControlDef* c : defs) {
            if (c->kind == ControlKind::Edit) fields.push_back(c);
        }
        page->addLayout(Form(fields, grid));

        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        auto* list = new QVBoxLayout;
        list->setSpacing(4);
        auto* buttons = new QVBoxLayout;
        buttons->setSpacing(6);
        for (const ControlDef* c : defs) {
            if (c->kind == ControlKind::Memo) {
                QWidget& memo = W(*c);
                memo.setMinimumWidth(charWidth_ * 36);
                QLabel* caption = CompanionLabel("Card IDs, one per line:", memo, *c);
                list->addWidget(caption);
                list->addWidget(&memo, 1);
            } else if (c->kind == ControlKind::Button) {
                QWidget& b = W(*c);
                b.setMinimumWidth(charWidth_ * 11);
                buttons->addWidget(&b);
            }
        }
        // The buttons start level with the list, below its caption.
        buttons->insertSpacing(0, QFontMetrics(pageOf_.at(tab)->font()).height() + list->spacing());
        buttons->addStretch(1);
        row->addLayout(list);
        row->addLayout(buttons);
        row->addStretch(1);
        page->addLayout(row, 1);
    }

    void BuildTemp() {
        const std::string tab = "TabSheet9";
        QVBoxLayout* page = Page(tab);

        auto* pairing = new QHBoxLayout;
        QGroupBox& pair = Group("GroupBox19");
        auto* pairRow = new QHBoxLayout(&pair);
        for (const ControlDef* c : Members(tab, "GroupBox19")) {
            if (!c->label.empty() && IsField(*c)) pairRow->addWidget(CompanionLabel(c->label, W(*c), *c));
            QWidget& w = W(*c);
            if (c->kind == ControlKind::Edit) w.setFixedWidth(charWidth_ * 14);
            pairRow->addWidget(&w);
            pairRow->addSpacing(8);
        }
        pairing->addWidget(&pair);
        pairing->addStretch(1);
        page->addLayout(pairing);

        QGroupBox& table = Group("TempSensorGroup");
        const Defs sensors = Members(tab, "TempSensorGroup");
        SetWidth(sensors, 0, 18);
        SetWidth(sensors, 1, 18);
        SetWidth(sensors, 2, 12);
        SetWidth(sensors, 3, 12);
        table.setLayout(Table(sensors, HeadingsOf(sensors), QStringLiteral("Index")));
        page->addWidget(&table);
        page->addStretch(1);
    }

    void BuildAuth() {
        const std::string tab = "TabSheet5";
        QVBoxLayout* page = Page(tab);

        auto* top = new QHBoxLayout;
        FormGrid grid;
        Defs defs = Members(tab, "");
        for (const ControlDef* c : defs) {
            if (c->kind == ControlKind::Edit) W(*c).setMinimumWidth(charWidth_ * 16);
        }
        top->addLayout(Form(defs, grid));
        top->addStretch(1);
        page->addLayout(top);

        // Authorized numbers: one column per number, one row per setting.
        QGroupBox& numbers = Group("GroupBox4");
        const Defs members = Members(tab, "GroupBox4");
        auto* table = new QGridLayout(&numbers);
        table->setHorizontalSpacing(12);
        table->setVerticalSpacing(6);
        std::map<int, std::string> rowLabels;
        int columns = 0;
        for (const ControlDef* c : members) {
            QWidget& w = W(*c);
            if (c->kind == ControlKind::Edit) w.setMinimumWidth(charWidth_ * 18);
            const Qt::Alignment align = c->kind == ControlKind::CheckBox ? Qt::AlignCenter : Qt::Alignment();
            table->addWidget(&w, c->row + 1, c->column + 1, align);
            if (!rowLabels.count(c->row)) {
                rowLabels[c->row] = c->label;
                table->addWidget(CompanionLabel(c->label, w, *c), c->row + 1, 0);
            }
            columns = std::max(columns, c->column + 1);
        }
        for (int n = 1; n <= columns; ++n)
            table->addWidget(PlainLabel(QStringLiteral("%1.").arg(n)), 0, n, Qt::AlignCenter);
        table->setColumnStretch(columns + 1, 1);
        page->addWidget(&numbers);
        page->addStretch(1);
    }

    void BuildGeo() {
        const std::string tab = "TabSheet4";
        QVBoxLayout* page = Page(tab);
        QGroupBox& fences = Group("GeoFenceGroup");
        const Defs defs = Members(tab, "GeoFenceGroup");
        SetWidth(defs, 0, 18);
        SetWidth(defs, 3, 9);
        SetWidth(defs, 4, 13);
        SetWidth(defs, 5, 13);
        fences.setLayout(Table(defs, HeadingsOf(defs), QStringLiteral("No.")));
        page->addWidget(&fences);
        page->addStretch(1);
    }

    // --- the Event tab ---------------------------------------------------------------

    void BuildEvent() {
        const std::string tab = "TabSheet6";
        std::vector<EventRowControl> rows;
        for (const ControlDef* c : Members(tab, "ScrollBox1")) rows.push_back({c, &W(*c)});
        auto& box = static_cast<QScrollArea&>(W("ScrollBox1"));
        QHBoxLayout* bar = ButtonBar(tab);
        if (bar != nullptr) bar->setContentsMargins(0, 6, 0, 0);
        LayOutEventTab(*pageOf_.at(tab), box, rows, bar, charWidth_ * 14);
    }

    // --- keyboard order ----------------------------------------------------------------

    // Tab walks each page in reading order: its controls in window order, except on the
    // Interface tab, whose groups stand in rows of their own (tanks and serial ports
    // above, inputs and outputs below); the tab's own buttons come last.
    void SetKeyboardOrder() {
        static const std::map<std::string, std::vector<std::string>> kGroupsInReadingOrder = {
            {"TabSheet8", {"GroupBox12", "GroupBox13", "GroupBox18", "GroupBox14", "GroupBox16", "GroupBox17"}},
        };
        for (const TabDef& tab : Tabs()) {
            std::vector<const ControlDef*> order;
            for (const ControlDef& c : Controls()) {
                if (c.tab == tab.name && (IsField(c) || c.kind == ControlKind::Button)) order.push_back(&c);
            }
            auto groups = kGroupsInReadingOrder.find(tab.name);
            if (groups != kGroupsInReadingOrder.end()) {
                const std::vector<std::string>& g = groups->second;
                auto rank = [&g](const ControlDef* c) {
                    return static_cast<int>(std::find(g.begin(), g.end(), c->group) - g.begin());
                };
                std::stable_sort(order.begin(), order.end(),
                                 [&](const ControlDef* a, const ControlDef* b) { return rank(a) < rank(b); });
            }
            for (std::size_t i = 1; i < order.size(); ++i)
                QWidget::setTabOrder(widgets_.at(order[i - 1]->name), widgets_.at(order[i]->name));
        }
    }

    QTabWidget& pages_;
    InputRuleFilter& rules_;
    BuiltPages built_;
    std::map<std::string, QWidget*> pageOf_;
    std::map<std::string, QWidget*> widgets_;
    std::set<std::string> placed_;
    int rowHeight_ = 24;
    int charWidth_ = 8;
};

}  // namespace

BuiltPages BuildPages(QTabWidget& pages, InputRuleFilter& rules) {
    PagesBuilder builder(pages, rules);
    return builder.Build();
}

}  // namespace quorvane
