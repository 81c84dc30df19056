#include "app/qt/change_marks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTabWidget>
#include <QWidget>

#include <algorithm>
#include <utility>

#include "app/qt/widget_form.h"
#include "trust/stored_value.h"
#include "model/window_model.h"

namespace quorvane {

namespace {

// Amber frame and flag: seen on any theme, and a shape, not a colour alone.
const QColor kMarkColor(0xd9, 0x77, 0x06);
const QColor kMarkEdge(0x5c, 0x2d, 0x00);
constexpr int kMarkMargin = 2;
constexpr int kFlagSize = 8;

// Drawn over a changed control, in its parent: a frame around it and a filled
// triangle in its top-left corner. It takes no mouse clicks.
class MarkFrame : public QWidget {
public:
    explicit MarkFrame(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setObjectName(QStringLiteral("ChangeMark"));
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(kMarkColor, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
        QPainterPath flag;
        flag.moveTo(0, 0);
        flag.lineTo(kFlagSize, 0);
        flag.lineTo(0, kFlagSize);
        flag.closeSubpath();
        p.setPen(QPen(kMarkEdge, 1));
        p.setBrush(kMarkEdge);
        p.drawPath(flag);
    }
};

// Drawn over a control whose value read back after a write differs from the value
// written: a red frame and, at its top-right corner, a badge with "!" in it.
const QColor kFailColor(0xc0, 0x1c, 0x28);
constexpr int kBadgeSize = 12;

class VerifyFailMark : public QWidget {
public:
    explicit VerifyFailMark(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setObjectName(QStringLiteral("VerifyFailMark"));
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter p(this);
        p.setPen(QPen(kFailColor, 2, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
        p.setRenderHint(QPainter::Antialiasing);
        const QRect badge(width() - kBadgeSize, 0, kBadgeSize, kBadgeSize);
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(kFailColor);
        p.drawEllipse(badge.adjusted(0, 0, -1, -1));
        QFont bold = font();
        bold.setBold(true);
        bold.setPixelSize(kBadgeSize - 2);
        p.setFont(bold);
        p.drawText(badge, Qt::AlignCenter, QStringLiteral("!"));
    }
};

}  // namespace

ChangeMarks::ChangeMarks(WidgetForm& form, QTabWidget& pages, std::function<bool(const std::string&)> changed,
                         std::function<std::vector<std::string>()> all, QObject* parent)
    : QObject(parent), form_(form), pages_(pages), changed_(std::move(changed)), all_(std::move(all)) {
    std::size_t order = 0;
    for (const ControlDef& c : Controls()) {
        if (FindStoredUnit(c.name) == nullptr) continue;
        QWidget& widget = form_.Widget(c.name);
        Watch(c.name, widget, pages_.indexOf(&form_.Widget(c.tab)), order++);
    }
}

ChangeMarks::~ChangeMarks() {
    for (auto& [name, w] : watched_) {
        if (w.widget != nullptr) w.widget->removeEventFilter(this);
        delete w.mark.data();
        delete w.failMark.data();
    }
}

void ChangeMarks::Watch(const std::string& name, QWidget& widget, int tab, std::size_t order) {
    watched_[name] = Watched{&widget, tab, order, false, nullptr, false, nullptr};
    names_[&widget] = name;
    // The user's edits; the logic's own changes come with a Refresh.
    auto update = [this, name] { RefreshControl(name); };
    if (auto* edit = qobject_cast<QLineEdit*>(&widget)) {
        connect(edit, &QLineEdit::textChanged, this, update);
    } else if (auto* box = qobject_cast<QCheckBox*>(&widget)) {
        connect(box, &QCheckBox::stateChanged, this, update);
    } else if (auto* combo = qobject_cast<QComboBox*>(&widget)) {
        connect(combo, &QComboBox::currentIndexChanged, this, update);
        connect(combo, &QComboBox::editTextChanged, this, update);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(&widget)) {
        connect(memo, &QPlainTextEdit::textChanged, this, update);
    }
    widget.installEventFilter(this);
}

void ChangeMarks::Refresh() {
    // The reference changed (a read, a write, a load): an earlier check no longer holds.
    SetVerifyFailed({});
    std::vector<std::string> now = all_();
    std::sort(now.begin(), now.end());
    for (auto& [name, w] : watched_) SetMarked(w, std::binary_search(now.begin(), now.end(), name));
}

void ChangeMarks::RefreshControl(const std::string& control) {
    const auto it = watched_.find(control);
    if (it != watched_.end()) SetMarked(it->second, changed_(control));
}

bool ChangeMarks::Marked(const std::string& control) const {
    const auto it = watched_.find(control);
    return it != watched_.end() && it->second.marked;
}

std::vector<std::string> ChangeMarks::MarkedControls() const {
    std::vector<std::pair<std::size_t, std::string>> marked;
    for (const auto& [name, w] : watched_)
        if (w.marked) marked.emplace_back(w.order, name);
    std::sort(marked.begin(), marked.end());
    std::vector<std::string> names;
    names.reserve(marked.size());
    for (auto& entry : marked) names.push_back(std::move(entry.second));
    return names;
}

bool ChangeMarks::TabMarked(int index) const {
    const auto it = tabCounts_.find(index);
    return it != tabCounts_.end() && it->second > 0;
}

QWidget* ChangeMarks::MarkOf(const std::string& control) const {
    const auto it = watched_.find(control);
    if (it == watched_.end() || !it->second.marked) return nullptr;
    return it->second.mark.data();
}

void ChangeMarks::SetVerifyFailed(const std::vector<std::string>& controls) {
    std::vector<std::string> failed = controls;
    std::sort(failed.begin(), failed.end());
    for (auto& [name, w] : watched_) {
        const bool now = std::binary_search(failed.begin(), failed.end(), name);
        if (w.failed == now) continue;
        w.failed = now;
        if (now && w.failMark.isNull() && w.widget->parentWidget() != nullptr)
            w.failMark = new VerifyFailMark(w.widget->parentWidget());
        Describe(w);
        Place(w);
    }
}

bool ChangeMarks::VerifyFailed(const std::string& control) const {
    const auto it = watched_.find(control);
    return it != watched_.end() && it->second.failed;
}

QWidget* ChangeMarks::VerifyMarkOf(const std::string& control) const {
    const auto it = watched_.find(control);
    if (it == watched_.end() || !it->second.failed) return nullptr;
    return it->second.failMark.data();
}

QIcon ChangeMarks::TabIcon() {
    constexpr int kSize = 12;
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath flag;
    flag.moveTo(1, 1);
    flag.lineTo(kSize - 1, 1);
    flag.lineTo(1, kSize - 1);
    flag.closeSubpath();
    p.setPen(QPen(kMarkEdge, 1));
    p.setBrush(kMarkColor);
    p.drawPath(flag);
    return QIcon(pixmap);
}

void ChangeMarks::SetMarked(Watched& w, bool marked) {
    if (w.marked == marked) return;
    w.marked = marked;
    SetTabCount(w.tab, marked ? 1 : -1);
    Describe(w);
    if (marked && w.mark.isNull() && w.widget->parentWidget() != nullptr) w.mark = new MarkFrame(w.widget->parentWidget());
    Place(w);
    emit MarksChanged();
}

// Said in words too, for the pointer and for screen readers.
void ChangeMarks::Describe(Watched& w) {
    QStringList words;
    if (w.marked) words << QString::fromLatin1(kControlToolTip);
    if (w.failed) words << QString::fromLatin1(kVerifyToolTip);
    const QString text = words.join(QLatin1Char('\n'));
    w.widget->setToolTip(text);
    w.widget->setAccessibleDescription(text);
}

void ChangeMarks::Place(Watched& w) {
    const QRect around = w.widget->geometry().adjusted(-kMarkMargin, -kMarkMargin, kMarkMargin, kMarkMargin);
    for (auto [mark, on] : {std::pair{w.mark.data(), w.marked}, std::pair{w.failMark.data(), w.failed}}) {
        if (mark == nullptr) continue;
        const bool show = on && !w.widget->isHidden();
        if (show) {
            mark->setGeometry(around);
            mark->raise();
        }
        mark->setVisible(show);
    }
}

void ChangeMarks::SetTabCount(int tab, int delta) {
    if (tab < 0) return;
    int& count = tabCounts_[tab];
    const bool before = count > 0;
    count += delta;
    const bool after = count > 0;
    if (before == after) return;
    // The caption stays as it is: the icon and the tip carry the mark.
    pages_.setTabIcon(tab, after ? TabIcon() : QIcon());
    pages_.setTabToolTip(tab, after ? QString::fromLatin1(kTabToolTip) : QString());
}

bool ChangeMarks::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide: {
        const auto name = names_.find(watched);
        if (name == names_.end()) break;
        const auto it = watched_.find(name->second);
        if (it != watched_.end() && (it->second.marked || it->second.failed)) Place(it->second);
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quorvane
