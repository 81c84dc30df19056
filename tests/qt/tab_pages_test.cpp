// The tab sheets built from the window model: every control is there as the widget
// of its kind, in its tab and group, with the model's start state, and every tab
// shows all of its controls at the window's normal size without overlaps.
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/memory_form.h"
#include "model/window_model.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::BarePages;

bool IsKind(const QWidget& w, ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit: return qobject_cast<const QLineEdit*>(&w) != nullptr;
        case ControlKind::CheckBox: return qobject_cast<const QCheckBox*>(&w) != nullptr;
        case ControlKind::ComboBox: {
            const auto* combo = qobject_cast<const QComboBox*>(&w);
            return combo != nullptr && combo->isEditable();
        }
        case ControlKind::Memo: return qobject_cast<const QPlainTextEdit*>(&w) != nullptr;
        case ControlKind::Button: return qobject_cast<const QPushButton*>(&w) != nullptr;
        case ControlKind::Label: return qobject_cast<const QLabel*>(&w) != nullptr;
        case ControlKind::GroupBox: return qobject_cast<const QGroupBox*>(&w) != nullptr;
        case ControlKind::ScrollBox: return qobject_cast<const QScrollArea*>(&w) != nullptr;
    }
    return false;
}

bool IsBelow(const QWidget& w, const QWidget& ancestor) {
    for (const QWidget* p = w.parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (p == &ancestor) return true;
    }
    return false;
}

TEST(TabPages, EveryControlIsAWidgetOfItsKindInItsTabAndGroup) {
    BarePages p;
    ASSERT_EQ(p.pages->count(), static_cast<int>(Tabs().size()));
    for (int i = 0; i < p.pages->count(); ++i) {
        EXPECT_EQ(p.pages->widget(i)->objectName().toStdString(), Tabs()[static_cast<std::size_t>(i)].name);
        EXPECT_EQ(p.pages->tabText(i).toStdString(), Tabs()[static_cast<std::size_t>(i)].caption);
    }
    EXPECT_EQ(p.pages->currentIndex(), 0);

    for (const ControlDef& c : Controls()) {
        SCOPED_TRACE(c.name);
        QWidget& w = p.form->Widget(c.name);
        EXPECT_EQ(w.objectName().toStdString(), c.name);
        EXPECT_TRUE(IsKind(w, c.kind));
        EXPECT_TRUE(IsBelow(w, p.form->Widget(c.tab)));
        if (!c.group.empty()) {
            EXPECT_TRUE(IsBelow(w, p.form->Widget(c.group)));
        }
    }
}

TEST(TabPages, ControlsStartAsTheHeadlessFormDoes) {
    BarePages p;
    const MemoryForm memory;
    const WidgetForm& widgets = *p.form;
    for (const ControlDef& c : Controls()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(widgets.Visible(c.name), memory.Visible(c.name));
        EXPECT_EQ(widgets.Enabled(c.name), memory.Enabled(c.name));
        switch (c.kind) {
            case ControlKind::Edit:
            case ControlKind::Memo:
                EXPECT_EQ(widgets.Text(c.name), memory.Text(c.name));
                break;
            case ControlKind::ComboBox:
                EXPECT_EQ(widgets.Text(c.name), memory.Text(c.name));
                EXPECT_EQ(widgets.ItemIndex(c.name), memory.ItemIndex(c.name));
                EXPECT_EQ(widgets.Items(c.name), memory.Items(c.name));
                break;
            case ControlKind::CheckBox:
                EXPECT_EQ(widgets.Checked(c.name), memory.Checked(c.name));
                EXPECT_EQ(As<QCheckBox>(widgets, c.name).isTristate(), c.tristate);
                break;
            case ControlKind::Button:
            case ControlKind::Label:
            case ControlKind::GroupBox:
                EXPECT_EQ(widgets.Caption(c.name), memory.Caption(c.name));
                break;
            case ControlKind::ScrollBox:
                break;
        }
    }
    for (const TabDef& t : Tabs()) EXPECT_EQ(widgets.Caption(t.name), memory.Caption(t.name));
}

TEST(TabPages, EventRowsHold554CheckBoxesAnd52NameEditsInTheScrollBox) {
    BarePages p;
    QWidget& box = p.form->Widget("ScrollBox1");
    int checks = 0;
    int edits = 0;
    int labels = 0;
    for (const ControlDef& c : Controls()) {
        if (c.group != "ScrollBox1") continue;
        EXPECT_TRUE(IsBelow(p.form->Widget(c.name), box)) << c.name;
        checks += c.kind == ControlKind::CheckBox;
        edits += c.kind == ControlKind::Edit;
        labels += c.kind == ControlKind::Label;
    }
    EXPECT_EQ(checks, 554);
    EXPECT_EQ(edits, 52);
    EXPECT_EQ(labels, 54);
    EXPECT_EQ(box.findChildren<QCheckBox*>().size(), 554);
    EXPECT_EQ(p.form->Caption("EventLabel17"), "(17) Ext-power low");
}

// Visible leaf widgets of a tab: its controls and the labels naming them.
std::vector<QWidget*> ShownLeaves(const BarePages& p, const TabDef& tab) {
    std::vector<QWidget*> out;
    for (const ControlDef& c : Controls()) {
        if (c.tab != tab.name || c.kind == ControlKind::GroupBox || c.kind == ControlKind::ScrollBox) continue;
        QWidget& w = p.form->Widget(c.name);
        if (w.isVisible()) out.push_back(&w);
    }
    for (QLabel* label : p.form->Widget(tab.name).findChildren<QLabel*>()) {
        if (label->objectName().isEmpty() && label->buddy() != nullptr && label->isVisible()) out.push_back(label);
    }
    return out;
}

TEST(TabPages, EveryTabShowsItsControlsWholeAndApartAtTheNormalSize) {
    BarePages p;
    p.ShowActive();
    for (int i = 0; i < p.pages->count(); ++i) {
        const TabDef& tab = Tabs()[static_cast<std::size_t>(i)];
        SCOPED_TRACE(tab.caption);
        p.pages->setCurrentIndex(i);
        QCoreApplication::processEvents();
        QWidget& page = *p.pages->widget(i);

        // No tab needs scrolling sideways; only the Event rows scroll, downwards.
        for (QScrollArea* area : page.findChildren<QScrollArea*>()) {
            EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0) << area->objectName().toStdString();
            if (area->objectName() != "ScrollBox1") {
                EXPECT_EQ(area->verticalScrollBar()->maximum(), 0);
            }
        }

        const std::vector<QWidget*> leaves = ShownLeaves(p, tab);
        for (const ControlDef& c : Controls()) {
            if (c.tab == tab.name && c.visible && c.group != "ScrollBox1") {
                EXPECT_TRUE(p.form->Widget(c.name).isVisible()) << c.name;
            }
        }
        std::vector<QRect> rects;
        const QWidget* viewport = p.built.eventBox->viewport();
        const QRect rows = IsBelow(*viewport, page) ? QRect(viewport->mapTo(&page, QPoint(0, 0)), viewport->size()) : QRect();
        for (QWidget* w : leaves) {
            const QRect r(w->mapTo(&page, QPoint(0, 0)), w->size());
            if (IsBelow(*w, *p.built.eventBox)) {
                // Event rows scroll downwards but never sideways out of the box.
                EXPECT_TRUE(r.left() >= rows.left() && r.right() <= rows.right()) << w->objectName().toStdString();
            } else {
                EXPECT_TRUE(page.rect().contains(r)) << w->objectName().toStdString() << " leaves its tab";
            }
            rects.push_back(r);
        }
        for (std::size_t a = 0; a < rects.size(); ++a) {
            for (std::size_t b = a + 1; b < rects.size(); ++b) {
                // Event rows scrolled out of the box pass under what stands below it.
                if (IsBelow(*leaves[a], *p.built.eventBox) != IsBelow(*leaves[b], *p.built.eventBox)) continue;
                EXPECT_FALSE(rects[a].intersects(rects[b]))
                    << leaves[a]->objectName().toStdString() << " '" << leaves[a]->property("text").toString().toStdString()
                    << "' overlaps " << leaves[b]->objectName().toStdString() << " '"
                    << leaves[b]->property("text").toString().toStdString() << "'";
            }
        }
    }
}

TEST(TabPages, HiddenControlsHideTheirLabelsToo) {
    BarePages p;
    p.ShowActive();
    p.pages->setCurrentWidget(&p.form->Widget("TabSheet2"));
    QCoreApplication::processEvents();
    QWidget& roaming = p.form->Widget("RoamingInterval");
    EXPECT_FALSE(roaming.isVisible());
    int companions = 0;
    for (QLabel* label : p.form->Widget("TabSheet2").findChildren<QLabel*>()) {
        if (label->buddy() != &roaming) continue;
        ++companions;
        EXPECT_FALSE(label->isVisible()) << label->text().toStdString();
    }
    EXPECT_EQ(companions, 2);  // "Roaming Interval" and "s"

    p.form->SetVisible("RoamingInterval", true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(roaming.isVisible());
    for (QLabel* label : p.form->Widget("TabSheet2").findChildren<QLabel*>()) {
        if (label->buddy() == &roaming) {
            EXPECT_TRUE(label->isVisible());
        }
    }
}

// The control that has the keyboard focus (an editable combo box's own edit counts as
// the combo box), or "" when the focus is on something that is no control.
std::string FocusedControl() {
    for (const QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget()) {
        if (FindControl(w->objectName().toStdString()) != nullptr) return w->objectName().toStdString();
        if (!qobject_cast<const QComboBox*>(w->parentWidget())) break;
    }
    return "";
}

TEST(TabPages, TabWalksEachPageInReadingOrderAndStopsOnlyOnControls) {
    BarePages p;
    p.ShowActive();
    for (int i = 0; i < p.pages->count(); ++i) {
        const TabDef& tab = Tabs()[static_cast<std::size_t>(i)];
        SCOPED_TRACE(tab.caption);
        p.pages->setCurrentIndex(i);
        QCoreApplication::processEvents();
        std::vector<std::string> reachable;
        for (const ControlDef& c : Controls()) {
            const QWidget& w = p.form->Widget(c.name);
            if (c.tab == tab.name && w.isVisible() && w.isEnabled() && (w.focusPolicy() & Qt::TabFocus))
                reachable.push_back(c.name);
        }
        ASSERT_FALSE(reachable.empty());
        // From the tab bar into the page, then on until the focus leaves the page.
        QWidget& page = *p.pages->widget(i);
        p.pages->tabBar()->setFocus(Qt::TabFocusReason);
        std::vector<std::string> visited;
        for (std::size_t n = 0; n <= reachable.size(); ++n) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (!page.isAncestorOf(QApplication::focusWidget())) break;
            visited.push_back(FocusedControl());
            ASSERT_FALSE(visited.back().empty()) << "Tab after " << (n > 0 ? visited[n - 1] : "the tab bar")
                                                 << " stops on no control";
        }
        std::vector<std::string> sorted = visited;
        std::sort(sorted.begin(), sorted.end());
        std::sort(reachable.begin(), reachable.end());
        EXPECT_EQ(sorted, reachable);

        auto after = [&](const std::string& name) {
            auto it = std::find(visited.begin(), visited.end(), name);
            return it == visited.end() || it + 1 == visited.end() ? std::string() : *(it + 1);
        };
        if (tab.name == "TabSheet8") {
            // Tanks and serial ports stand above the inputs and outputs.
            EXPECT_EQ(visited.front(), "Tank1Name");
            EXPECT_EQ(after("Tank1Low"), "Tank2Name");
            EXPECT_EQ(after("Tank2Low"), "RS232_1");
            EXPECT_EQ(after("RS232_2"), "In1Mode");
            EXPECT_EQ(after("IN4ActiveTM"), "Out1Mode");
            EXPECT_EQ(after("Out2Speed"), "InterfaceRead");
        }
        if (tab.name == "TabSheet6") {
            // The rows come before the buttons below them.
            EXPECT_EQ(after("LowSpeedOUT2"), "EventRead");
        }
        if (tab.name == "TabSheet7") {
            // Tab leaves the card list instead of typing into it.
            EXPECT_EQ(after("RFID_Memo"), "SET_ID");
            EXPECT_EQ(p.form->Text("RFID_Memo"), "");
        }
    }
}

TEST(TabPages, ARowReachedFromTheButtonsIsScrolledIntoView) {
    BarePages p;
    p.ShowActive();
    p.pages->setCurrentWidget(&p.form->Widget("TabSheet6"));
    QCoreApplication::processEvents();
    QWidget& read = p.form->Widget("EventRead");
    read.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&read, Qt::Key_Tab, Qt::ShiftModifier);
    QCoreApplication::processEvents();
    ASSERT_EQ(FocusedControl(), "LowSpeedOUT2");
    const QWidget& box = p.form->Widget("LowSpeedOUT2");
    const QWidget* viewport = p.built.eventBox->viewport();
    EXPECT_GT(p.built.eventBox->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(viewport->rect().contains(QRect(box.mapTo(viewport, QPoint(0, 0)), box.size())));
}

TEST(TabPages, EventHeadingsStandOverTheirCheckBoxColumns) {
    BarePages p;
    p.ShowActive();
    p.pages->setCurrentWidget(&p.form->Widget("TabSheet6"));
    QCoreApplication::processEvents();
    QWidget& page = p.form->Widget("TabSheet6");
    auto centreX = [&](const QWidget& w) { return w.mapTo(&page, w.rect().center()).x(); };
    auto heading = [&](const QString& text, int nth) -> QLabel* {
        int seen = 0;
        for (QLabel* label : page.findChildren<QLabel*>()) {
            if (label->text() == text && !IsBelow(*label, *p.built.eventBox) && seen++ == nth) return label;
        }
        return nullptr;
    };
    // Input1 active has every flag: its boxes line up under the sub-headings.
    const std::vector<std::pair<std::string, std::pair<QString, int>>> columns = {
        {"IN1GPRS1", {"1", 0}},    {"IN1GPRS2", {"2", 0}},   {"IN1SMS1", {"sms", 0}}, {"IN1Call2", {"call", 1}},
        {"IN1Moni3", {"moni", 2}}, {"IN1OUT1", {"1", 1}},    {"IN1OUT2", {"2", 1}},
    };
    for (const auto& [box, sub] : columns) {
        QLabel* label = heading(sub.first, sub.second);
        ASSERT_NE(label, nullptr) << sub.first.toStdString();
        EXPECT_NEAR(centreX(p.form->Widget(box)), centreX(*label), 3) << box;
    }
    // The first row is at the top of the box at start, and the box scrolls by rows.
    EXPECT_EQ(p.built.eventBox->verticalScrollBar()->value(), 0);
    EXPECT_GE(p.built.eventBox->verticalScrollBar()->singleStep(), p.form->Widget("IN1Name").height());
}

}  // namespace
}  // namespace quorvane
