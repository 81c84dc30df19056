// The port box's descriptions: the open list shows what the system knows of each
// port beside its name, while the items, the shown text and what Open takes stay the
// bare names, and the drop-down handler still refills the list first.
#include <QAbstractItemView>
#include <QComboBox>
#include <QHash>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/form1.h"
#include "app/qt/port_combo_box.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::Window;

TEST(PortDescriptions, ShowBesideTheNamesWhileTheTextStaysBare) {
    Window w({"ttyUSB0", "ttyS0"});
    auto& box = As<PortComboBox>(w.Form(), "ComboBox1");
    std::vector<std::string> ports = {"ttyUSB0", "ttyACM1", "ttyS0"};
    w.window->Logic().Watch().SetPortSource(std::make_shared<FunctionPortSource>([&] { return BarePorts(ports); }));
    box.SetDescriber([] {
        return QHash<QString, QString>{{QStringLiteral("ttyUSB0"), QStringLiteral("Acme Serial Cable (A1B2C3)")},
                                       {QStringLiteral("ttyACM1"), QStringLiteral("Modem Port (SN 77)")}};
    });
    w.ShowActive();
    box.showPopup();
    // The drop-down handler ran first: the new port is listed, the shown text kept.
    EXPECT_EQ(w.Form().Items("ComboBox1"), ports);
    EXPECT_EQ(w.Form().Text("ComboBox1"), "ttyUSB0");
    EXPECT_EQ(box.ListText(0), QStringLiteral("ttyUSB0    Acme Serial Cable (A1B2C3)"));
    EXPECT_EQ(box.ListText(1), QStringLiteral("ttyACM1    Modem Port (SN 77)"));
    EXPECT_EQ(box.ListText(2), QStringLiteral("ttyS0"));
    // What the list paints carries the description too.
    const QModelIndex first = box.view()->model()->index(0, 0);
    EXPECT_TRUE(box.view()->itemDelegate()->sizeHint(QStyleOptionViewItem(), first).width() >
                box.view()->fontMetrics().horizontalAdvance(QStringLiteral("ttyUSB0    Acme")));
    box.hidePopup();

    // Choosing a described port puts its bare name into the box, which Open takes.
    box.setCurrentIndex(1);
    EXPECT_EQ(w.Form().Text("ComboBox1"), "ttyACM1");
    EXPECT_EQ(w.Form().ItemIndex("ComboBox1"), 1);

    // A refill keeps the descriptions of the names that stay.
    ports = {"ttyS0", "ttyUSB0"};
    w.window->Logic().ComboBox1DropDown();
    EXPECT_EQ(box.ListText(1), QStringLiteral("ttyUSB0    Acme Serial Cable (A1B2C3)"));
    EXPECT_EQ(box.Description(0), QString());
}

}  // namespace
}  // namespace quorvane
