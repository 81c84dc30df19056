#include "app/qt/widget_form.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QWidget>

#include <stdexcept>

#include "model/window_model.h"

#include "app/qt/latin1.h"

namespace quorvane {

namespace {

// The control's own flags, whatever its parents' state (a control on a tab that is
// not shown is still visible).
bool OwnVisible(const QWidget& w) {
    return !(w.testAttribute(Qt::WA_WState_ExplicitShowHide) && w.testAttribute(Qt::WA_WState_Hidden));
}
bool OwnEnabled(const QWidget& w) { return !w.testAttribute(Qt::WA_ForceDisabled); }

[[noreturn]] void WrongKind(const char* accessor, std::string_view name, const char* what) {
    throw std::logic_error(std::string(accessor) + ": '" + std::string(name) + "' is " + what);
}

const char* KindOf(const QWidget* w) {
    if (qobject_cast<const QLineEdit*>(w)) return "an edit";
    if (qobject_cast<const QPlainTextEdit*>(w)) return "a memo";
    if (qobject_cast<const QComboBox*>(w)) return "a combo box";
    if (qobject_cast<const QAbstractButton*>(w)) {
        return w->inherits("QCheckBox") ? "a check box" : "a button";
    }
    if (qobject_cast<const QLabel*>(w)) return "a label";
    if (qobject_cast<const QGroupBox*>(w)) return "a group box";
    return "a container";
}

}  // namespace

std::string ToFormLineBreaks(std::string_view widgetText) {
    std::string out;
    out.reserve(widgetText.size() + widgetText.size() / 8);
    for (char c : widgetText) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string ToWidgetLineBreaks(std::string_view formText) {
    std::string out;
    out.reserve(formText.size());
    for (std::size_t i = 0; i < formText.size(); ++i) {
        const char c = formText[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < formText.size() && formText[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

WidgetForm::WidgetForm(QWidget& root, QTabWidget& pages) : pages_(pages) {
    for (QWidget* w : root.findChildren<QWidget*>()) {
        const std::string name = w->objectName().toStdString();
        if (name.empty() || FindControl(name) == nullptr) continue;
        entries_[name].widget = w;
    }
    for (int i = 0; i < pages.count(); ++i) {
        QWidget* page = pages.widget(i);
        Entry& e = entries_[page->objectName().toStdString()];
        e.widget = page;
        e.tabIndex = i;
    }
    // Unnamed labels whose buddy is a control are its caption and unit.
    for (QLabel* label : root.findChildren<QLabel*>()) {
        if (!label->objectName().isEmpty() || label->buddy() == nullptr) continue;
        auto it = entries_.find(label->buddy()->objectName().toStdString());
        if (it != entries_.end() && it->second.widget == label->buddy()) it->second.companions.push_back(label);
    }
}

const WidgetForm::Entry& WidgetForm::At(std::string_view name) const {
    auto it = entries_.find(name);
    if (it == entries_.end()) throw EUnknownControl(name);
    return it->second;
}

QWidget& WidgetForm::Widget(std::string_view control) const { return *At(control).widget; }

template <class W>
W& WidgetForm::Expect(std::string_view name, const char* accessor) const {
    const Entry& e = At(name);
    if (e.tabIndex >= 0) WrongKind(accessor, name, "a tab sheet");
    W* w = qobject_cast<W*>(e.widget);
    if (w == nullptr) WrongKind(accessor, name, KindOf(e.widget));
    return *w;
}

std::string WidgetForm::Text(std::string_view control) const {
    const Entry& e = At(control);
    if (e.tabIndex < 0) {
        if (auto* edit = qobject_cast<QLineEdit*>(e.widget)) return FromQt(edit->text());
        if (auto* memo = qobject_cast<QPlainTextEdit*>(e.widget))
            return ToFormLineBreaks(FromQt(memo->toPlainText()));
        if (auto* combo = qobject_cast<QComboBox*>(e.widget)) return FromQt(combo->currentText());
    }
    WrongKind("Text", control, e.tabIndex >= 0 ? "a tab sheet" : KindOf(e.widget));
}

void WidgetForm::SetText(std::string_view control, std::string_view text) {
    const Entry& e = At(control);
    if (e.tabIndex < 0) {
        const QSignalBlocker block(e.widget);
        if (auto* edit = qobject_cast<QLineEdit*>(e.widget)) {
            edit->setText(ToQt(text));
            return;
        }
        if (auto* memo = qobject_cast<QPlainTextEdit*>(e.widget)) {
            memo->setPlainText(ToQt(ToWidgetLineBreaks(text)));
            return;
        }
        if (auto* combo = qobject_cast<QComboBox*>(e.widget)) {
            combo->setEditText(ToQt(text));
            return;
        }
    }
    WrongKind("SetText", control, e.tabIndex >= 0 ? "a tab sheet" : KindOf(e.widget));
}

bool WidgetForm::Checked(std::string_view control) const {
    const auto& box = Expect<QAbstractButton>(control, "Checked");
    if (!box.isCheckable()) WrongKind("Checked", control, "a button");
    // The grayed third state counts as clear.
    return box.inherits("QCheckBox") ? static_cast<const QCheckBox&>(box).checkState() == Qt::Checked
                                     : box.isChecked();
}

void WidgetForm::SetChecked(std::string_view control, bool checked) {
    auto& box = Expect<QAbstractButton>(control, "SetChecked");
    if (!box.isCheckable()) WrongKind("SetChecked", control, "a button");
    const QSignalBlocker block(&box);
    box.setChecked(checked);
}

int WidgetForm::ItemIndex(std::string_view control) const {
    return Expect<QComboBox>(control, "ItemIndex").currentIndex();
}

void WidgetForm::SetItemIndex(std::string_view control, int index) {
    auto& combo = Expect<QComboBox>(control, "SetItemIndex");
    const QSignalBlocker block(&combo);
    if (index >= 0 && index < combo.count()) {
        combo.setCurrentIndex(index);
        combo.setEditText(combo.itemText(index));
    } else {
        combo.setCurrentIndex(-1);
        combo.setEditText(QString());
    }
}

std::vector<std::string> WidgetForm::Items(std::string_view control) const {
    const auto& combo = Expect<QComboBox>(control, "Items");
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(combo.count()));
    for (int i = 0; i < combo.count(); ++i) items.push_back(FromQt(combo.itemText(i)));
    return items;
}

void WidgetForm::SetItems(std::string_view control, std::vector<std::string> items) {
    auto& combo = Expect<QComboBox>(control, "SetItems");
    const QSignalBlocker block(&combo);
    const QString shown = combo.currentText();
    combo.clear();
    for (const std::string& item : items) combo.addItem(ToQt(item));
    combo.setCurrentIndex(-1);
    combo.setEditText(shown);
}

bool WidgetForm::Enabled(std::string_view control) const {
    const Entry& e = At(control);
    if (e.tabIndex >= 0) return pages_.isTabEnabled(e.tabIndex);
    return OwnEnabled(*e.widget);
}

void WidgetForm::SetEnabled(std::string_view control, bool enabled) {
    const Entry& e = At(control);
    if (e.tabIndex >= 0) {
        pages_.setTabEnabled(e.tabIndex, enabled);
        return;
    }
    e.widget->setEnabled(enabled);
}

bool WidgetForm::Visible(std::string_view control) const {
    const Entry& e = At(control);
    if (e.tabIndex >= 0) return pages_.isTabVisible(e.tabIndex);
    return OwnVisible(*e.widget);
}

void WidgetForm::SetVisible(std::string_view control, bool visible) {
    const Entry& e = At(control);
    if (e.tabIndex >= 0) {
        pages_.setTabVisible(e.tabIndex, visible);
        return;
    }
    e.widget->setVisible(visible);
    for (QWidget* companion : e.companions) companion->setVisible(visible);
}

std::string WidgetForm::Caption(std::string_view control) const {
    const Entry& e = At(control);
    if (e.tabIndex >= 0) return FromQt(pages_.tabText(e.tabIndex));
    if (auto* label = qobject_cast<QLabel*>(e.widget)) return FromQt(label->text());
    if (auto* group = qobject_cast<QGroupBox*>(e.widget)) return FromQt(group->title());
    if (auto* button = qobject_cast<QAbstractButton*>(e.widget); button && !button->isCheckable())
        return FromQt(button->text());
    WrongKind("Caption", control, KindOf(e.widget));
}

void WidgetForm::SetCaption(std::string_view control, std::string_view caption) {
    const Entry& e = At(control);
    if (e.tabIndex >= 0) {
        pages_.setTabText(e.tabIndex, ToQt(caption));
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(e.widget)) {
        label->setText(ToQt(caption));
        return;
    }
    if (auto* group = qobject_cast<QGroupBox*>(e.widget)) {
        group->setTitle(ToQt(caption));
        return;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(e.widget); button && !button->isCheckable()) {
        button->setText(ToQt(caption));
        return;
    }
    WrongKind("SetCaption", control, KindOf(e.widget));
}

}  // namespace quorvane
