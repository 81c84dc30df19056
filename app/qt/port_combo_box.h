// The port combo box: runs its drop-down handler each time its list is opened,
// before the list is shown. Its items are the bare port names that Open uses; beside
// each name the open list shows what the system knows of the port (USB vendor and
// product, serial number), kept in an item data role and never in the item's text.
#pragma once

#include <QComboBox>
#include <QHash>
#include <QString>

#include <functional>
#include <utility>

namespace quorvane {

class PortComboBox : public QComboBox {
public:
    // The item data role holding a port's description.
    static constexpr int kDescriptionRole = Qt::UserRole + 1;

    explicit PortComboBox(QWidget* parent = nullptr);

    void SetDropDownHandler(std::function<void()> handler) { dropDown_ = std::move(handler); }
    // Called after the drop-down handler each time the list opens: the descriptions of
    // the ports by name, for the items that have one.
    void SetDescriber(std::function<QHash<QString, QString>()> describer) { describe_ = std::move(describer); }

    // Remembers the descriptions and puts them on the items present and on items added
    // later under the same names.
    void SetDescriptions(QHash<QString, QString> descriptions);
    QString Description(int index) const { return itemData(index, kDescriptionRole).toString(); }
    // What the open list shows for item `index`: the name, and its description beside it.
    QString ListText(int index) const;

    void showPopup() override;

private:
    void Describe(int first, int last);

    std::function<void()> dropDown_;
    std::function<QHash<QString, QString>()> describe_;
    QHash<QString, QString> descriptions_;
};

}  // namespace quorvane
