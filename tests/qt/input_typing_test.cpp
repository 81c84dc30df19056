// Typing into the window's boxes as a user does: key filters, length limits, leave
// rules, editing shortcuts and pasting in filtered boxes, and combo boxes whose selection follows the
// typed text.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::BarePages;

class Typing : public ::testing::Test {
protected:
    // Clears the box and types `keys` into it, one key press each.
    std::string Type(const std::string& box, const QString& keys) {
        auto& edit = As<QLineEdit>(*p.form, box);
        edit.clear();
        QTest::keyClicks(&edit, keys);
        return p.form->Text(box);
    }

    // Leaves `box` with the Tab key after emptying it; the focus must really move on.
    std::string LeaveEmpty(const std::string& box) {
        auto& edit = As<QLineEdit>(*p.form, box);
        p.pages->setCurrentIndex(IndexOfTab(edit));
        edit.setFocus(Qt::OtherFocusReason);
        EXPECT_TRUE(edit.hasFocus()) << box;
        edit.clear();
        QTest::keyClick(&edit, Qt::Key_Tab);
        EXPECT_FALSE(edit.hasFocus()) << box << " kept the focus";
        return p.form->Text(box);
    }

    int IndexOfTab(const QWidget& w) const {
        for (int i = 0; i < p.pages->count(); ++i) {
            if (p.pages->widget(i)->isAncestorOf(&w)) return i;
        }
        return -1;
    }

    BarePages p;
};

TEST_F(Typing, CharacterKindsLetThroughOnlyTheirCharacters) {
    EXPECT_EQ(Type("Heading", "1.5"), "15");
    EXPECT_EQ(Type("DistanceInterval", "12.5"), "125");
    EXPECT_EQ(Type("LowExtBatAlarm", "1.5"), "1.5");
    EXPECT_EQ(Type("LowExtBatAlarm", "1,5V"), "15");
    EXPECT_EQ(Type("SMSTimeZone", "-8"), "-8");
    EXPECT_EQ(Type("SMSTimeZone", "+8"), "8");
    EXPECT_EQ(Type("Port", "80a80 "), "8080");
    EXPECT_EQ(Type("Temp1_High", "-12.5"), "-12.5");
    EXPECT_EQ(Type("No1Lat", "+51.5x"), "+51.5");
    EXPECT_EQ(Type("Temp3_ID", "A1-b2_C3"), "A1b2C3");
}

TEST_F(Typing, BoxesWithoutRulesTakeAnything) {
    EXPECT_EQ(Type("No2Lat", "north"), "north");
    EXPECT_EQ(Type("Temp2_High", "hot!"), "hot!");
    EXPECT_EQ(Type("TowTM", "1.5"), "1.5");
    const QString longText(40, QLatin1Char('x'));
    EXPECT_EQ(Type("IP2", longText), longText.toStdString());
    // A character the tracker's 8-bit text cannot hold is refused, never turned into '?'.
    auto& apn = As<QLineEdit>(*p.form, "APN");
    apn.clear();
    for (const QChar c : QString::fromUtf8("\xC3\xBC-\xE2\x82\xAC-apn")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&apn, &press);
    }
    apn.insert(QString::fromUtf8("\xE2\x82\xAC"));  // pasted
    EXPECT_EQ(p.form->Text("APN"), "\xFC--apn");
}

TEST_F(Typing, LengthLimitStopsAtThirtyTwoButTakesBackspace) {
    auto& apn = As<QLineEdit>(*p.form, "APN");
    EXPECT_EQ(Type("APN", QString(40, QLatin1Char('a'))).size(), 32U);
    QTest::keyClick(&apn, Qt::Key_Backspace);
    EXPECT_EQ(apn.text().size(), 31);
    QTest::keyClicks(&apn, "bc");
    EXPECT_EQ(p.form->Text("APN"), std::string(31, 'a') + "b");
    // Each box is measured by its own text: IP3 shares IP's rule.
    EXPECT_EQ(Type("IP", QString(33, QLatin1Char('1'))).size(), 32U);
    EXPECT_EQ(Type("IP3", QString(5, QLatin1Char('2'))), "22222");
}

TEST_F(Typing, EditingKeysStillWorkInFilteredBoxes) {
    auto& heading = As<QLineEdit>(*p.form, "Heading");
    heading.setText("123");
    QTest::keyClick(&heading, Qt::Key_Backspace);
    EXPECT_EQ(heading.text(), "12");
    QTest::keyClick(&heading, Qt::Key_Home);
    QTest::keyClick(&heading, Qt::Key_Delete);
    EXPECT_EQ(heading.text(), "2");
    QTest::keyClick(&heading, Qt::Key_End);
    QTest::keyClick(&heading, Qt::Key_Left);
    QTest::keyClicks(&heading, "9");
    EXPECT_EQ(heading.text(), "92");
}

TEST_F(Typing, EditingShortcutsWorkAndPastedTextIsFilteredAsTyped) {
    // Select all, then type: the new digits replace the old ones.
    auto& port = As<QLineEdit>(*p.form, "Port");
    port.setText("5001");
    QTest::keyClick(&port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&port, "7");
    EXPECT_EQ(port.text(), "7");
    QTest::keyClick(&port, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(port.text(), "5001") << "undo";

    // Copy and cut put the box's text on the clipboard; paste keeps what the filter
    // lets through, over the selection.
    auto& heading = As<QLineEdit>(*p.form, "Heading");
    heading.setText("45");
    QTest::keyClick(&heading, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&heading, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(heading.text(), "");
    EXPECT_EQ(QApplication::clipboard()->text(), "45");
    QApplication::clipboard()->setText("1.2 km/h3");
    heading.setText("99");
    heading.selectAll();
    QTest::keyClick(&heading, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(heading.text(), "123");
    QApplication::clipboard()->setText("abc");
    QTest::keyClick(&heading, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(heading.text(), "123") << "nothing that passes, nothing pasted";
    // Other Ctrl keys still type nothing.
    QTest::keyClick(&heading, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(heading.text(), "123");

    // Boxes without a filter paste as they always did; a length limit counts the
    // pasted characters one by one.
    QApplication::clipboard()->setText("777");
    auto& ip2 = As<QLineEdit>(*p.form, "IP2");
    ip2.clear();
    QTest::keyClick(&ip2, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(ip2.text(), "777");
    auto& apn = As<QLineEdit>(*p.form, "APN");
    apn.setText(QString(30, QLatin1Char('a')));
    QTest::keyClick(&apn, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(apn.text(), QString(30, QLatin1Char('a')) + "77");
}

TEST_F(Typing, ComposedTextIsFilteredLikeTypedText) {
    auto compose = [&](const std::string& box, const QString& text) {
        auto& edit = As<QLineEdit>(*p.form, box);
        edit.clear();
        QInputMethodEvent event;
        event.setCommitString(text);
        QCoreApplication::sendEvent(&edit, &event);
        return p.form->Text(box);
    };
    EXPECT_EQ(compose("Heading", "1.5"), "15");
    EXPECT_EQ(compose("Temp1_ID", QString::fromUtf8("ab\u00e9c")), "abc");
    EXPECT_EQ(compose("APN", QString(40, QLatin1Char('z'))).size(), 32U);
    EXPECT_EQ(compose("IP2", "a.b"), "a.b");
}

TEST_F(Typing, LeavingAnEmptyBoxPutsItsReplacement) {
    p.ShowActive();
    EXPECT_EQ(LeaveEmpty("SensorSen"), "2");
    EXPECT_EQ(LeaveEmpty("Speed"), "0");
    EXPECT_EQ(LeaveEmpty("LowSpeed"), "0");
    EXPECT_EQ(LeaveEmpty("No1Lat"), "0");
    EXPECT_EQ(LeaveEmpty("SMSTimeZone"), "0");
    // No leave rule: empty stays empty (no alarm), and so does a box of blanks.
    EXPECT_EQ(LeaveEmpty("Temp1_High"), "");
    EXPECT_EQ(LeaveEmpty("No2Radius"), "");
    auto& speed = As<QLineEdit>(*p.form, "Speed");
    speed.setFocus(Qt::OtherFocusReason);
    speed.setText("  ");
    QTest::keyClick(&speed, Qt::Key_Tab);
    EXPECT_EQ(p.form->Text("Speed"), "  ");
}

TEST_F(Typing, TypedComboTextSelectsTheItemItNamesOrNone) {
    auto& mode = As<QComboBox>(*p.form, "GPRSType");
    ASSERT_EQ(p.form->ItemIndex("GPRSType"), 0);
    mode.lineEdit()->selectAll();
    QTest::keyClicks(mode.lineEdit(), "UDP");
    EXPECT_EQ(p.form->ItemIndex("GPRSType"), 2);
    EXPECT_EQ(p.form->Text("GPRSType"), "UDP");
    QTest::keyClicks(mode.lineEdit(), "x");
    EXPECT_EQ(p.form->ItemIndex("GPRSType"), -1);
    EXPECT_EQ(p.form->Text("GPRSType"), "UDPx");

    // A port typed by hand is kept as typed.
    auto& port = As<QComboBox>(*p.form, "ComboBox1");
    port.lineEdit()->selectAll();
    QTest::keyClicks(port.lineEdit(), "COM12");
    EXPECT_EQ(p.form->Text("ComboBox1"), "COM12");
    EXPECT_EQ(p.form->ItemIndex("ComboBox1"), -1);
    EXPECT_EQ(port.count(), 0);
}

}  // namespace
}  // namespace quorvane
