// The tab sheets built from the window model: every control is there as the widget
// of its kind, in its tab and group, with the model's start state, and every tab
// shows all of its controls at the window's normal size without overlaps.
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

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/memory_form.h"
#include "app/window_model.h"
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

TEST(TabPages, StartSelectionsAndShownTexts) {
    BarePages p;
    const WidgetForm& f = *p.form;
    EXPECT_EQ(f.ItemIndex("BufferMode"), -1);
    EXPECT_EQ(f.Text("BufferMode"), "FILO");
    EXPECT_EQ(f.ItemIndex("Car_Type"), -1);
    EXPECT_EQ(f.Text("Car_Type"), "0000(Standard)");
    EXPECT_EQ(f.ItemIndex("In4Mode"), -1);
    EXPECT_EQ(f.Text("In4Mode"), "AD Input");
    EXPECT_EQ(f.ItemIndex("TowMode"), 0);
    EXPECT_EQ(f.ItemIndex("In5Mode"), 2);
    EXPECT_EQ(f.Text("In5Mode"), "AD Input");
    EXPECT_TRUE(f.Checked("IntervalGPRS1"));
    EXPECT_FALSE(f.Enabled("IntervalGPRS1"));
    EXPECT_FALSE(f.Enabled("ReportType2"));
    EXPECT_EQ(f.Text("LowExtBatAlarm"), "11.4");
    EXPECT_EQ(f.Text("No3Lat"), "0.000000");
    EXPECT_TRUE(As<QCheckBox>(f, "ReplyGPRS1").isTristate());
    EXPECT_FALSE(As<QCheckBox>(f, "ReplyGPRS2").isTristate());
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
