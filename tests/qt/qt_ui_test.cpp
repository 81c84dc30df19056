// QtUi: the status bar panels, the message boxes as the logic expects them, the file
// dialogs' filters and the Event tab's scroll box.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

#include "app/qt/qt_ui.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

TEST(QtUiFilter, DialogFiltersBecomeQtFilters) {
    EXPECT_EQ(ToQtFileFilter("*.ini|*.ini"), "*.ini (*.ini)");
    EXPECT_EQ(ToQtFileFilter("Settings|*.ini;*.cfg|All files|*.*"), "Settings (*.ini *.cfg);;All files (*.*)");
    EXPECT_EQ(ToQtFileFilter("*.ini"), "*.ini (*.ini)");
    EXPECT_EQ(ToQtFileFilter(""), "");
}

TEST(QtUiStatus, PanelsHoldLatin1Text) {
    qt_test::BarePages p;
    QtUi ui(p.window, *p.built.eventBox);
    ui.SetStatusText(1, "Read GPRS OK \xb1");
    EXPECT_EQ(ui.StatusText(1), "Read GPRS OK \xb1");
    EXPECT_EQ(ui.Panel(1).text(), QString::fromUtf8("Read GPRS OK ±"));
    EXPECT_THROW(ui.SetStatusText(-1, "x"), std::out_of_range);
}

TEST(QtUiBoxes, NoticeAndQuestionAreTitledNoticeWithTheirButtons) {
    qt_test::BarePages p;
    QtUi ui(p.window, *p.built.eventBox);
    std::string title;
    QMessageBox::StandardButtons buttons;
    bool ticked = false;
    auto inspect = [&](QMessageBox::StandardButton answer) {
        QTimer::singleShot(0, [&, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle().toStdString();
            buttons = box->standardButtons();
            box->button(answer)->click();
        });
    };
    // Other work goes on while the box is open.
    QTimer tick;
    tick.setSingleShot(true);
    QObject::connect(&tick, &QTimer::timeout, [&] { ticked = true; });

    inspect(QMessageBox::Ok);
    tick.start(0);
    ui.Notice("Read All Completed!");
    EXPECT_EQ(title, "Notice");
    EXPECT_EQ(buttons, QMessageBox::Ok);
    EXPECT_TRUE(ticked);

    inspect(QMessageBox::Yes);
    EXPECT_TRUE(ui.Confirm("Restore the defaults?"));
    EXPECT_EQ(title, "Notice");
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
    inspect(QMessageBox::No);
    EXPECT_FALSE(ui.Confirm("Restore the defaults?"));

    p.window.setWindowTitle("Quorvane_Parameter_Editor_V1.6");
    inspect(QMessageBox::Ok);
    ui.ShowError("'x' is not a valid integer value");
    EXPECT_EQ(title, "Quorvane_Parameter_Editor_V1.6");
}

TEST(QtUiBoxes, AConversionErrorNamesItsBoxAndFocusesIt) {
    qt_test::BarePages p;
    p.ShowActive();
    QtUi ui(p.window, *p.built.eventBox);
    QString text;
    QString beside;
    auto inspect = [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            text = box->text();
            beside = box->informativeText();
            box->button(QMessageBox::Ok)->click();
        });
    };
    QWidget& stop = p.form->Widget("StopInterval");
    ASSERT_NE(p.pages->currentWidget(), p.pages->widget(1)) << "another tab is in front";

    inspect();
    ui.ShowControlError("'abc' is not a valid integer value", {"StopInterval", "GPRS", "Stop Interval", true});
    EXPECT_EQ(text, "'abc' is not a valid integer value") << "the message stays as it is";
    EXPECT_EQ(beside, "GPRS tab, Stop Interval");
    EXPECT_EQ(p.pages->currentIndex(), 1) << "the GPRS tab is brought forward";
    EXPECT_EQ(p.window.focusWidget(), &stop) << "the box has the focus within the window";

    // A hidden box is named but left alone.
    p.pages->setCurrentIndex(0);
    inspect();
    ui.ShowControlError("'' is not a valid integer value", {"RoamingInterval", "GPRS", "Roaming Interval", false});
    EXPECT_EQ(beside, "GPRS tab, Roaming Interval");
    EXPECT_EQ(p.pages->currentIndex(), 0);
}

TEST(QtUiScroll, TheEventBoxScrollsByLinesAndStopsAtItsEnds) {
    qt_test::BarePages p;
    p.ShowActive();
    QtUi ui(p.window, *p.built.eventBox);
    QScrollBar& bar = *p.built.eventBox->verticalScrollBar();
    const int line = bar.singleStep();
    ui.ScrollEventBox(2);
    EXPECT_EQ(bar.value(), 2 * line);
    ui.ScrollEventBox(-1);
    EXPECT_EQ(bar.value(), line);
    ui.ScrollEventBox(-5);
    EXPECT_EQ(bar.value(), 0);
    ui.ScrollEventBox(1000);
    EXPECT_EQ(bar.value(), bar.maximum());
}

}  // namespace
}  // namespace quorvane
