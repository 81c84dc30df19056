#include "app/qt/port_combo_box.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QStyledItemDelegate>

namespace quorvane {

namespace {

// Paints an item of the open list as "name   description"; the item's own text, which
// the edit and Open take, stays the bare name.
class DescribedItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString description = index.data(PortComboBox::kDescriptionRole).toString();
        if (!description.isEmpty()) option->text += QStringLiteral("    ") + description;
    }
};

}  // namespace

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new DescribedItemDelegate(this));
    connect(model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { Describe(first, last); });
}

void PortComboBox::SetDescriptions(QHash<QString, QString> descriptions) {
    descriptions_ = std::move(descriptions);
    if (count() > 0) Describe(0, count() - 1);
}

void PortComboBox::Describe(int first, int last) {
    for (int i = first; i <= last && i < count(); ++i) {
        const auto it = descriptions_.constFind(itemText(i));
        setItemData(i, it == descriptions_.constEnd() ? QVariant() : QVariant(*it), kDescriptionRole);
    }
}

QString PortComboBox::ListText(int index) const {
    const QString description = Description(index);
    return description.isEmpty() ? itemText(index) : itemText(index) + QStringLiteral("    ") + description;
}

void PortComboBox::showPopup() {
    if (dropDown_) dropDown_();
    if (describe_) SetDescriptions(describe_());
    // The list is as wide as its longest description needs.
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth());
    QComboBox::showPopup();
}

}  // namespace quorvane
