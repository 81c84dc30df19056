#include "app/qt/find_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "app/qt/latin1.h"

namespace quorvane {

FindDialog::FindDialog(std::function<std::vector<std::string>()> changed, std::function<bool(const FindMatch&)> choose,
                       QIcon changedIcon, QWidget* parent)
    : QDialog(parent), changed_(std::move(changed)), choose_(std::move(choose)), changedIcon_(std::move(changedIcon)) {
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(QStringLiteral("Find"));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Find:"), this);
    query_ = new QLineEdit(this);
    query_->setObjectName(QStringLiteral("FindQuery"));
    query_->setPlaceholderText(QStringLiteral("Label, name or settings key"));
    query_->setClearButtonEnabled(true);
    label->setBuddy(query_);
    changedOnly_ = new QCheckBox(QStringLiteral("Changed only"), this);
    changedOnly_->setObjectName(QStringLiteral("FindChangedOnly"));
    top->addWidget(label);
    top->addWidget(query_, 1);
    top->addWidget(changedOnly_);
    layout->addLayout(top);

    matches_ = new QTreeWidget(this);
    matches_->setObjectName(QStringLiteral("FindMatches"));
    matches_->setColumnCount(4);
    matches_->setHeaderLabels(
        {QStringLiteral("Tab"), QStringLiteral("Control"), QStringLiteral("Name"), QStringLiteral("Settings key")});
    matches_->setRootIsDecorated(false);
    matches_->setUniformRowHeights(true);
    matches_->setAlternatingRowColors(true);
    layout->addWidget(matches_, 1);

    hint_ = new QLabel(this);
    hint_->setObjectName(QStringLiteral("FindHint"));
    hint_->setTextFormat(Qt::PlainText);
    layout->addWidget(hint_);

    connect(query_, &QLineEdit::textChanged, this, [this] { Search(); });
    connect(changedOnly_, &QCheckBox::toggled, this, [this] { Search(); });
    connect(query_, &QLineEdit::returnPressed, this, [this] { Choose(); });
    connect(matches_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { Choose(matches_->indexOfTopLevelItem(item)); });
    // Up and Down in the box move through the list.
    query_->installEventFilter(this);

    resize(720, 440);
    Search();
}

void FindDialog::Search() {
    // The row chosen stays chosen when the list is made anew.
    const QTreeWidgetItem* current = matches_->currentItem();
    const QString keep = current != nullptr ? current->text(kNameColumn) : QString();
    const std::string query = FromQt(query_->text().trimmed());
    std::vector<std::string> changed = changed_();
    found_ = changedOnly_->isChecked() ? FindControls(query, changed) : FindControls(query);
    std::sort(changed.begin(), changed.end());
    matches_->setUpdatesEnabled(false);
    matches_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(found_.size()));
    for (const FindMatch& m : found_) {
        auto* item = new QTreeWidgetItem;
        item->setText(kTabColumn, ToQt(m.tabCaption));
        item->setText(kLabelColumn, ToQt(m.label));
        item->setText(kNameColumn, ToQt(m.control));
        item->setText(kKeyColumn, ToQt(m.key));
        if (std::binary_search(changed.begin(), changed.end(), m.control)) {
            item->setIcon(kTabColumn, changedIcon_);
            item->setToolTip(kTabColumn, QStringLiteral("Changed since the last read or write"));
        }
        items.append(item);
    }
    matches_->addTopLevelItems(items);
    QTreeWidgetItem* chosen = items.isEmpty() ? nullptr : items.front();
    for (QTreeWidgetItem* item : items)
        if (!keep.isEmpty() && item->text(kNameColumn) == keep) chosen = item;
    if (chosen != nullptr) matches_->setCurrentItem(chosen);
    for (int c = kTabColumn; c < kKeyColumn; ++c) matches_->resizeColumnToContents(c);
    matches_->setUpdatesEnabled(true);
    hint_->setText(found_.size() == 1 ? QStringLiteral("1 match") : QStringLiteral("%1 matches").arg(found_.size()));
}

void FindDialog::Choose(int row) {
    if (row < 0) row = matches_->indexOfTopLevelItem(matches_->currentItem());
    if (row < 0 || static_cast<std::size_t>(row) >= found_.size()) return;
    const FindMatch& m = found_[static_cast<std::size_t>(row)];
    if (choose_ && !choose_(m))
        hint_->setText(QStringLiteral("%1 is not shown or not enabled now").arg(ToQt(m.label)));
}

bool FindDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == query_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up || key == Qt::Key_PageDown || key == Qt::Key_PageUp) {
            const auto* press = static_cast<QKeyEvent*>(event);
            QKeyEvent copy(QEvent::KeyPress, press->key(), press->modifiers());
            QCoreApplication::sendEvent(matches_, &copy);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace quorvane
