#include "app/qt/compare_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>
#include <utility>

#include "app/qt/latin1.h"

namespace quorvane {

namespace {

constexpr int kControlRole = Qt::UserRole + 1;

QString Count(std::size_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromLatin1(n == 1 ? one : many));
}

}  // namespace

QString CompareDialog::Summary(const Comparison& comparison) {
    const std::size_t differ = comparison.differences.size();
    return QStringLiteral("%1 %2, %3 %4.")
        .arg(Count(differ, "control", "controls"), QString::fromLatin1(differ == 1 ? "differs" : "differ"))
        .arg(comparison.equal)
        .arg(QString::fromLatin1(comparison.equal == 1 ? "is equal" : "are equal"));
}

CompareDialog::CompareDialog(const Comparison& comparison, const CompareView& view,
                             std::function<void(const std::vector<std::string>&)> take, QWidget* parent)
    : QDialog(parent), takeSelected_(std::move(take)) {
    setObjectName(QStringLiteral("CompareDialog"));
    setWindowTitle(view.title);
    auto* layout = new QVBoxLayout(this);

    summary_ = new QLabel(view.summary.isEmpty() ? Summary(comparison) : view.summary, this);
    summary_->setObjectName(QStringLiteral("CompareSummary"));
    summary_->setTextFormat(Qt::PlainText);
    layout->addWidget(summary_);

    note_ = new QLabel(view.note, this);
    note_->setObjectName(QStringLiteral("CompareNote"));
    note_->setTextFormat(Qt::PlainText);
    note_->setWordWrap(true);
    note_->setFrameShape(QFrame::StyledPanel);
    note_->setStyleSheet(QStringLiteral("QLabel { background: #fff4d6; color: #3a2600; padding: 4px; }"));
    note_->setVisible(!view.note.isEmpty());
    layout->addWidget(note_);

    rows_ = new QTreeWidget(this);
    rows_->setObjectName(QStringLiteral("CompareRows"));
    rows_->setColumnCount(4);
    rows_->setHeaderLabels({QStringLiteral("Tab"), QStringLiteral("Control"), view.thisHeading, view.otherHeading});
    rows_->setRootIsDecorated(true);
    rows_->setUniformRowHeights(true);
    rows_->setAlternatingRowColors(true);
    layout->addWidget(rows_, 1);

    // One row per tab, the tab's controls below it; a tab's rows stay together even when
    // the list comes block by block (a verification).
    std::map<std::string, QTreeWidgetItem*, std::less<>> groups;
    for (const ControlDifference& d : comparison.differences) {
        QTreeWidgetItem*& group = groups[d.tab];
        if (group == nullptr) {
            group = new QTreeWidgetItem(rows_);
            group->setText(kTabColumn, d.tabCaption.empty() ? QStringLiteral("(no control)") : ToQt(d.tabCaption));
            if (view.selectable) {
                group->setFlags(group->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
                group->setCheckState(kTabColumn, Qt::Unchecked);
            }
            QFont bold = group->font(kTabColumn);
            bold.setBold(true);
            group->setFont(kTabColumn, bold);
        }
        auto* row = new QTreeWidgetItem(group);
        row->setText(kTabColumn, ToQt(d.tabCaption));
        row->setText(kControlColumn, QStringLiteral("%1 (%2)").arg(ToQt(d.label), ToQt(d.control)));
        row->setText(kThisColumn, ToQt(d.thisValue));
        row->setText(kOtherColumn, ToQt(d.otherValue));
        row->setData(kTabColumn, kControlRole, ToQt(d.control));
        if (view.selectable) {
            row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
            row->setCheckState(kTabColumn, Qt::Unchecked);
        }
    }
    // Count each tab's rows beside its caption.
    for (int i = 0; i < rows_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* tab = rows_->topLevelItem(i);
        tab->setText(kControlColumn, Count(static_cast<std::size_t>(tab->childCount()), "difference", "differences"));
    }
    rows_->expandAll();
    for (int c = 0; c < rows_->columnCount(); ++c) rows_->resizeColumnToContents(c);

    auto* buttons = new QDialogButtonBox(this);
    if (view.selectable) {
        auto* all = buttons->addButton(QStringLiteral("Tick All"), QDialogButtonBox::ActionRole);
        all->setObjectName(QStringLiteral("CompareTickAll"));
        connect(all, &QPushButton::clicked, this, [this] { TickAll(true); });
        auto* none = buttons->addButton(QStringLiteral("Clear All"), QDialogButtonBox::ActionRole);
        none->setObjectName(QStringLiteral("CompareClearAll"));
        connect(none, &QPushButton::clicked, this, [this] { TickAll(false); });
        take_ = buttons->addButton(QStringLiteral("Take selected into window"), QDialogButtonBox::AcceptRole);
        take_->setObjectName(QStringLiteral("CompareTake"));
        connect(take_, &QPushButton::clicked, this, [this] {
            const std::vector<std::string> selected = SelectedControls();
            if (selected.empty()) return;
            if (takeSelected_) takeSelected_(selected);
            accept();
        });
        connect(rows_, &QTreeWidget::itemChanged, this, [this] { UpdateTakeButton(); });
        UpdateTakeButton();
    }
    auto* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("CompareClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    // Return closes the dialog; taking rows is always a click of its own.
    if (take_ != nullptr) take_->setAutoDefault(false);
    close->setDefault(true);
    layout->addWidget(buttons);

    resize(720, 460);
}

QTreeWidgetItem* CompareDialog::RowOf(const std::string& control) const {
    const QString name = ToQt(control);
    for (int i = 0; i < rows_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* tab = rows_->topLevelItem(i);
        for (int j = 0; j < tab->childCount(); ++j)
            if (tab->child(j)->data(kTabColumn, kControlRole).toString() == name) return tab->child(j);
    }
    return nullptr;
}

std::vector<std::string> CompareDialog::SelectedControls() const {
    std::vector<std::string> selected;
    for (int i = 0; i < rows_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* tab = rows_->topLevelItem(i);
        for (int j = 0; j < tab->childCount(); ++j) {
            const QTreeWidgetItem* row = tab->child(j);
            if (row->checkState(kTabColumn) == Qt::Checked)
                selected.push_back(FromQt(row->data(kTabColumn, kControlRole).toString()));
        }
    }
    return selected;
}

void CompareDialog::TickAll(bool ticked) {
    for (int i = 0; i < rows_->topLevelItemCount(); ++i)
        rows_->topLevelItem(i)->setCheckState(kTabColumn, ticked ? Qt::Checked : Qt::Unchecked);
    UpdateTakeButton();
}

void CompareDialog::UpdateTakeButton() {
    if (take_ == nullptr) return;
    bool any = false;
    for (int i = 0; i < rows_->topLevelItemCount() && !any; ++i)
        any = rows_->topLevelItem(i)->checkState(kTabColumn) != Qt::Unchecked;
    take_->setEnabled(any);
}

}  // namespace quorvane
