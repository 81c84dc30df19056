// The Tools menu's write-safety side in the window: the compare dialog and taking
// rows from it, the changed marks after a read, an edit and a load, Find reaching a
// control deep in the Event rows, verify results after a write, and the options.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/qt/change_marks.h"
#include "app/qt/compare_dialog.h"
#include "app/qt/find_dialog.h"
#include "app/qt/trust_tools.h"
#include "trust/stored_value.h"
#include "model/window_model.h"
#include "link/engine.h"
#include "settings/settings_file.h"
#include "sim/pty_tracker.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::Window;

std::string PathOf(const QTemporaryDir& dir, const char* name) {
    return QDir(dir.path()).filePath(QString::fromLatin1(name)).toStdString();
}

// The last enabled check box of the Event rows: at the very bottom of the scroll box.
std::string LastEventCheckBox(const Form& form) {
    std::string last;
    for (const ControlDef& c : Controls())
        if (c.tab == "TabSheet6" && c.kind == ControlKind::CheckBox && form.Enabled(c.name)) last = c.name;
    return last;
}

int TabIndexOf(const Window& w, const char* tabSheet) {
    return w.window->PageControl().indexOf(&w.Form().Widget(tabSheet));
}

// Opens the port to the simulated tracker and waits until the Device ID read that
// follows the connect answer has ended.
void Connect(Window& w, const sim::PtyTracker& tracker) {
    w.Form().SetText("ComboBox1", tracker.SlavePath());
    As<QPushButton>(w.Form(), "OpenPort").click();
    ASSERT_TRUE(w.window->Logic().PortOpen());
    for (int i = 0; i < 50; ++i) w.window->Logic().Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Dialogs().StatusText(0) == "Connected"; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.window->Logic().Busy(); }, 10000));
}

// Clicks a button and waits for the completion box (answered by `boxes`).
void ClickAndWait(Window& w, qt_test::BoxAnswerer& boxes, const char* button, std::size_t boxesAfter) {
    As<QPushButton>(w.Form(), button).click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.Texts().size() >= boxesAfter; }, 20000)) << button;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.window->Logic().Busy(); }, 10000));
}

// Takes the file addresses the window opens instead of the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    std::vector<QUrl> opened;
    Q_INVOKABLE void Open(const QUrl& url) { opened.push_back(url); }
};

TEST(TrustTools, ToolsMenuHoldsTheItemsAndRemembersTheSwitches) {
    {
        Window w;
        std::vector<std::string> items;
        for (QAction* a : w.window->ToolsMenu()->actions())
            if (!a->isSeparator()) items.push_back(qt_test::Caption(*a));
        for (const char* name : {"Compare with File...", "Compare with Tracker", "Verify After Write",
                                 "Back Up Before Writing", "Open Backup Folder", "Restore Backup...", "Find"})
            EXPECT_NE(std::find(items.begin(), items.end(), name), items.end()) << name;
        EXPECT_EQ(w.window->MenuItem("Find1")->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
        // Off at first: the logic behaves as without them.
        EXPECT_FALSE(w.window->MenuItem("VerifyAfterWrite1")->isChecked());
        EXPECT_FALSE(w.window->MenuItem("BackUpBeforeWriting1")->isChecked());
        EXPECT_FALSE(w.window->Logic().Safety().Options().verifyAfterWrite);
        EXPECT_FALSE(w.window->Logic().Safety().Options().backUpBeforeWriting);
        // The backups go to the user's data folder.
        EXPECT_TRUE(w.window->Trust().BackupFolder().startsWith(
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
        EXPECT_EQ(w.window->Logic().Safety().Options().backupFolder, w.window->Trust().BackupFolder().toStdString());

        // Open Backup Folder makes the folder and hands it to the desktop.
        QDir(w.window->Trust().BackupFolder()).removeRecursively();
        UrlCatcher catcher;
        w.window->MenuItem("OpenBackupFolder1")->trigger();
        EXPECT_TRUE(QDir(w.window->Trust().BackupFolder()).exists());
        EXPECT_EQ(catcher.opened, std::vector<QUrl>{QUrl::fromLocalFile(w.window->Trust().BackupFolder())});

        w.window->MenuItem("VerifyAfterWrite1")->trigger();
        w.window->MenuItem("BackUpBeforeWriting1")->trigger();
        EXPECT_TRUE(w.window->Logic().Safety().Options().verifyAfterWrite);
        EXPECT_TRUE(w.window->Logic().Safety().Options().backUpBeforeWriting);
    }
    // The next window starts with them on, and hands them to its logic.
    Window again;
    EXPECT_TRUE(again.window->MenuItem("VerifyAfterWrite1")->isChecked());
    EXPECT_TRUE(again.window->Logic().Safety().Options().verifyAfterWrite);
    EXPECT_TRUE(again.window->Logic().Safety().Options().backUpBeforeWriting);
    again.window->MenuItem("VerifyAfterWrite1")->trigger();
    again.window->MenuItem("BackUpBeforeWriting1")->trigger();
    EXPECT_FALSE(again.window->Options().Flag(QString::fromLatin1(TrustTools::kVerifyKey), true));
}

TEST(TrustTools, CompareWithFileListsDifferencesByTabAndTakesTheTickedOnes) {
    Window w;
    QTemporaryDir dir;
    const std::string file = PathOf(dir, "other.ini");
    WidgetForm& f = w.Form();
    const std::string flag = LastEventCheckBox(w.Form());
    f.SetText("TimeInterval", "30");
    f.SetText("TimeInterval2", "7");
    f.SetItemIndex("GPRSType", 0);
    f.SetChecked(flag, false);
    SaveSettingsFile(f, file);

    // Three real differences on two tabs; "07" stores the same as "7".
    f.SetText("TimeInterval", "45");
    f.SetText("TimeInterval2", "07");
    f.SetItemIndex("GPRSType", 1);
    f.SetChecked(flag, true);

    CompareDialog* dialog = w.window->Trust().CompareWithFile(QString::fromStdString(file));
    ASSERT_NE(dialog, nullptr);
    QTreeWidget& rows = dialog->Rows();
    ASSERT_EQ(rows.topLevelItemCount(), 2);
    EXPECT_EQ(rows.topLevelItem(0)->text(CompareDialog::kTabColumn), "GPRS");
    EXPECT_EQ(rows.topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(rows.topLevelItem(1)->text(CompareDialog::kTabColumn), "Event");
    EXPECT_EQ(rows.topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(dialog->RowOf("TimeInterval2"), nullptr);
    EXPECT_TRUE(dialog->SummaryLabel().text().startsWith(QStringLiteral("3 controls differ, ")));
    EXPECT_FALSE(dialog->NoteLabel().isVisibleTo(dialog));

    QTreeWidgetItem* interval = dialog->RowOf("TimeInterval");
    ASSERT_NE(interval, nullptr);
    EXPECT_TRUE(interval->text(CompareDialog::kControlColumn).contains(QStringLiteral("(TimeInterval)")));
    EXPECT_EQ(interval->text(CompareDialog::kThisColumn), "45");
    EXPECT_EQ(interval->text(CompareDialog::kOtherColumn), "30");
    QTreeWidgetItem* mode = dialog->RowOf("GPRSType");
    ASSERT_NE(mode, nullptr);
    // A combo box shows its item texts, a check box checked or clear.
    EXPECT_EQ(mode->text(CompareDialog::kThisColumn).toStdString(), f.Items("GPRSType")[1]);
    EXPECT_EQ(mode->text(CompareDialog::kOtherColumn).toStdString(), f.Items("GPRSType")[0]);
    QTreeWidgetItem* box = dialog->RowOf(flag);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(CompareDialog::kThisColumn), "checked");
    EXPECT_EQ(box->text(CompareDialog::kOtherColumn), "clear");

    // Nothing ticked: nothing to take.
    EXPECT_FALSE(dialog->TakeButton()->isEnabled());
    interval->setCheckState(CompareDialog::kTabColumn, Qt::Checked);
    box->setCheckState(CompareDialog::kTabColumn, Qt::Checked);
    EXPECT_EQ(dialog->SelectedControls(), (std::vector<std::string>{"TimeInterval", flag}));
    ASSERT_TRUE(dialog->TakeButton()->isEnabled());
    dialog->TakeButton()->click();
    EXPECT_EQ(f.Text("TimeInterval"), "30");
    EXPECT_FALSE(f.Checked(flag));
    EXPECT_EQ(f.ItemIndex("GPRSType"), 1);  // not ticked: kept
    EXPECT_FALSE(dialog->isVisible());
}

TEST(TrustTools, TickingATabTicksItsRowsAndAnUnreadableFileOpensNoDialog) {
    Window w;
    QTemporaryDir dir;
    const std::string file = PathOf(dir, "other.ini");
    SaveSettingsFile(w.Form(), file);
    w.Form().SetText("TimeInterval", "45");
    w.Form().SetText("Port", "5001");
    CompareDialog* dialog = w.window->Trust().CompareWithFile(QString::fromStdString(file));
    ASSERT_NE(dialog, nullptr);
    dialog->Rows().topLevelItem(0)->setCheckState(CompareDialog::kTabColumn, Qt::Checked);
    EXPECT_EQ(dialog->SelectedControls().size(), 2U);
    dialog->reject();

    const std::string text = qt_test::AnswerNextBox([&] {
        EXPECT_EQ(w.window->Trust().CompareWithFile(QString::fromStdString(PathOf(dir, "missing.ini"))), nullptr);
    });
    EXPECT_NE(text.find("Unable to read from"), std::string::npos) << text;
    EXPECT_EQ(w.Form().Text("TimeInterval"), "45");
}

// Marks follow a read, the user's edits, a loaded file and a group's read, and the
// tab captions never change.
TEST(TrustTools, MarksFollowReadsEditsAndLoads) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    qt_test::BoxAnswerer boxes;
    ASSERT_NO_FATAL_FAILURE(Connect(w, tracker));
    ChangeMarks& marks = w.window->Trust().Marks();
    QTabWidget& pages = w.window->PageControl();
    std::vector<QString> captions(static_cast<std::size_t>(pages.count()));
    for (int i = 0; i < pages.count(); ++i) captions[static_cast<std::size_t>(i)] = pages.tabText(i);

    ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "ReadAll", 1));
    EXPECT_TRUE(marks.MarkedControls().empty());
    const int gprs = TabIndexOf(w, "TabSheet2");
    const int event = TabIndexOf(w, "TabSheet6");
    EXPECT_FALSE(marks.TabMarked(gprs));

    // An open Find list of the changed controls follows the marks.
    FindDialog& find = w.window->Trust().ShowFind();
    find.ChangedOnly().setChecked(true);
    EXPECT_EQ(find.Matches().topLevelItemCount(), 0);

    // The user types: the box is marked, and its tab.
    pages.setCurrentIndex(gprs);
    auto& edit = As<QLineEdit>(w.Form(), "TimeInterval");
    const QString before = edit.text();
    edit.selectAll();
    QTest::keyClicks(&edit, before + QStringLiteral("1"));
    EXPECT_TRUE(marks.Marked("TimeInterval"));
    EXPECT_TRUE(marks.TabMarked(gprs));
    EXPECT_FALSE(pages.tabIcon(gprs).isNull());
    ASSERT_NE(marks.MarkOf("TimeInterval"), nullptr);
    EXPECT_TRUE(marks.MarkOf("TimeInterval")->isVisible());
    EXPECT_TRUE(marks.MarkOf("TimeInterval")->geometry().contains(edit.geometry()));
    EXPECT_EQ(edit.toolTip(), ChangeMarks::kControlToolTip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return find.Matches().topLevelItemCount() == 1; }, 5000));
    EXPECT_EQ(find.Matches().topLevelItem(0)->text(FindDialog::kNameColumn), "TimeInterval");
    find.close();
    // Typing the old value back takes the mark away again.
    edit.selectAll();
    QTest::keyClicks(&edit, before);
    EXPECT_FALSE(marks.Marked("TimeInterval"));
    EXPECT_FALSE(marks.TabMarked(gprs));
    EXPECT_TRUE(pages.tabIcon(gprs).isNull());
    EXPECT_TRUE(edit.toolTip().isEmpty());

    // A click on an Event flag.
    const std::string flag = LastEventCheckBox(w.Form());
    pages.setCurrentIndex(event);
    auto& box = As<QCheckBox>(w.Form(), flag);
    box.click();
    EXPECT_TRUE(marks.Marked(flag));
    EXPECT_TRUE(marks.TabMarked(event));

    // A loaded file marks what it changed against the last read.
    box.click();  // back as read
    ASSERT_FALSE(marks.Marked(flag));
    QTemporaryDir dir;
    const std::string file = PathOf(dir, "load.ini");
    const std::string readPort = w.Form().Text("Port");
    const std::string filePort = readPort == "6001" ? "6002" : "6001";
    w.Form().SetText("Port", filePort);
    SaveSettingsFile(w.Form(), file);
    w.Form().SetText("Port", readPort);
    w.window->Trust().RestoreBackup(QString::fromStdString(file));
    EXPECT_EQ(w.Form().Text("Port"), filePort);
    EXPECT_TRUE(marks.Marked("Port"));
    EXPECT_TRUE(marks.TabMarked(gprs));
    EXPECT_FALSE(marks.TabMarked(event));

    // Reading a group clears its marks, and only its own.
    box.click();
    ASSERT_TRUE(marks.Marked(flag));
    ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "GPRSRead", boxes.Texts().size() + 1));
    EXPECT_FALSE(marks.Marked("Port"));
    EXPECT_FALSE(marks.TabMarked(gprs));
    EXPECT_TRUE(marks.Marked(flag));
    EXPECT_TRUE(marks.TabMarked(event));
    EXPECT_EQ(marks.MarkedControls(), w.window->Logic().Safety().ChangedControls());

    for (int i = 0; i < pages.count(); ++i) EXPECT_EQ(pages.tabText(i), captions[static_cast<std::size_t>(i)]);
}

TEST(TrustTools, FindFocusesAControlAtTheBottomOfTheEventRows) {
    Window w;
    w.ShowActive();
    const std::string flag = LastEventCheckBox(w.Form());
    QScrollArea& rows = w.window->ScrollBox1();
    rows.verticalScrollBar()->setValue(0);

    FindDialog& find = w.window->Trust().ShowFind();
    EXPECT_GT(find.Matches().topLevelItemCount(), 500);  // every control before anything is typed
    QTest::keyClicks(&find.Query(), QString::fromStdString(flag));
    ASSERT_EQ(find.Matches().topLevelItemCount(), 1);
    EXPECT_EQ(find.Matches().topLevelItem(0)->text(FindDialog::kTabColumn), "Event");
    EXPECT_EQ(find.Matches().topLevelItem(0)->text(FindDialog::kNameColumn).toStdString(), flag);
    QTest::keyClick(&find.Query(), Qt::Key_Return);

    QWidget& box = w.Form().Widget(flag);
    EXPECT_EQ(w.window->PageControl().currentIndex(), TabIndexOf(w, "TabSheet6"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == &box; }, 5000));
    EXPECT_GT(rows.verticalScrollBar()->value(), 0);
    const QRect inView(box.mapTo(rows.viewport(), QPoint(0, 0)), box.size());
    EXPECT_TRUE(rows.viewport()->rect().contains(inView));

    // A hidden box: its tab is shown, and the hint says why it has no focus.
    ASSERT_FALSE(w.Form().Visible("RoamingInterval"));
    find.Query().setText(QStringLiteral("RoamingInterval"));
    ASSERT_GE(find.Matches().topLevelItemCount(), 1);
    find.Choose(0);
    EXPECT_EQ(w.window->PageControl().currentIndex(), TabIndexOf(w, "TabSheet2"));
    EXPECT_TRUE(find.Hint().text().contains(QStringLiteral("not shown or not enabled")));

    // By settings key and label too, case-insensitively; "Changed only" lists the
    // marked controls only (none without a read).
    find.Query().setText(QStringLiteral("time interval"));
    EXPECT_GT(find.Matches().topLevelItemCount(), 1);
    find.ChangedOnly().setChecked(true);
    EXPECT_EQ(find.Matches().topLevelItemCount(), 0);
}

TEST(TrustTools, VerifyAfterWriteReportsAFaultyTrackerAndACleanOne) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    qt_test::BoxAnswerer boxes;
    ASSERT_NO_FATAL_FAILURE(Connect(w, tracker));
    if (!w.window->MenuItem("VerifyAfterWrite1")->isChecked()) w.window->MenuItem("VerifyAfterWrite1")->trigger();
    ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "GPRSRead", 1));

    ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "GPRSWrite", 3));
    EXPECT_EQ(boxes.Texts()[2], "Verify OK");
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Verify OK");

    tracker.InjectFault(sim::Fault::StoreWrong);
    As<QPushButton>(w.Form(), "GPRSWrite").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Trust().OpenDialog() != nullptr; }, 20000));
    CompareDialog* dialog = w.window->Trust().OpenDialog();
    EXPECT_EQ(dialog->objectName(), "VerifyDialog");
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Verify failed");
    ASSERT_TRUE(w.window->Logic().Safety().LastVerify().has_value());
    const Comparison& result = *w.window->Logic().Safety().LastVerify();
    ASSERT_EQ(result.differences.size(), 1U);
    EXPECT_EQ(dialog->SummaryLabel().text().toStdString(), WriteSafetyUi::VerifyFailedText(1));
    QTreeWidgetItem* row = dialog->RowOf(result.differences[0].control);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(CompareDialog::kThisColumn).toStdString(), result.differences[0].thisValue);
    EXPECT_EQ(row->text(CompareDialog::kOtherColumn).toStdString(), result.differences[0].otherValue);
    EXPECT_EQ(dialog->TakeButton(), nullptr);  // nothing to take from a verification
    dialog->reject();

    // After the write's own box, a warning; the control is marked where it is, with a
    // mark of its own (the value was written, so it is not "changed"), until the next read.
    ASSERT_EQ(boxes.Texts().size(), 5U);
    EXPECT_EQ(boxes.Texts()[3].substr(0, 6), "Write ");
    EXPECT_EQ(boxes.Texts()[4].substr(0, boxes.Texts()[4].find('\n')), "Verify failed: 1 control differs");
    const std::string differing = result.differences[0].control;
    ChangeMarks& marks = w.window->Trust().Marks();
    EXPECT_TRUE(marks.VerifyFailed(differing));
    ASSERT_NE(marks.VerifyMarkOf(differing), nullptr);
    EXPECT_FALSE(marks.VerifyMarkOf(differing)->isHidden());
    EXPECT_FALSE(marks.Marked(differing));
    EXPECT_TRUE(w.Form().Widget(differing).toolTip().contains(QString::fromLatin1(ChangeMarks::kVerifyToolTip)));
    ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "GPRSRead", 6));
    EXPECT_FALSE(marks.VerifyFailed(differing));
    EXPECT_FALSE(marks.VerifyMarkOf(differing) != nullptr);
    w.window->MenuItem("VerifyAfterWrite1")->trigger();
}

// The changed marks of a group go when its values arrive, while its completion box
// is still open.
TEST(TrustTools, MarksGoWhenTheValuesArriveNotWhenTheBoxCloses) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    ASSERT_NO_FATAL_FAILURE(Connect(w, tracker));
    {
        qt_test::BoxAnswerer boxes;
        ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "GPRSRead", 1));
    }
    const std::string held = w.Form().Text("Port");
    for (const char* button : {"GPRSRead", "GPRSWrite"}) {
        auto& port = As<QLineEdit>(w.Form(), "Port");
        port.selectAll();
        QTest::keyClicks(&port, QString::fromStdString(held == "6001" ? "6002" : "6001"));
        ASSERT_TRUE(w.window->Trust().Marks().Marked("Port")) << button;
        // Looked at from inside the completion box's own event loop, then answered.
        std::optional<bool> markedWhileBoxOpen;
        std::string text;
        QTimer look;
        look.setInterval(1);
        QObject::connect(&look, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            markedWhileBoxOpen = w.window->Trust().Marks().Marked("Port");
            text = box->text().toStdString();
            box->button(QMessageBox::Ok)->click();
        });
        look.start();
        As<QPushButton>(w.Form(), button).click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return markedWhileBoxOpen.has_value() && !w.window->Logic().Busy(); }, 10000));
        ASSERT_TRUE(markedWhileBoxOpen.has_value());
        EXPECT_FALSE(*markedWhileBoxOpen) << button << ": " << text;
    }
}

TEST(TrustTools, CompareWithTrackerShowsWhatTheTrackerHolds) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    qt_test::BoxAnswerer boxes;
    ASSERT_NO_FATAL_FAILURE(Connect(w, tracker));
    ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "ReadAll", 1));
    const std::string held = w.Form().Text("Port");
    w.Form().SetText("Port", held == "6001" ? "6002" : "6001");

    w.window->Trust().CompareWithTracker();
    // The buttons that talk to the tracker rest while it is read beside the window.
    w.window->Trust().FollowSideRead();
    EXPECT_FALSE(w.Form().Enabled("ReadAll"));
    EXPECT_FALSE(w.window->MenuItem("CompareWithTracker1")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Trust().OpenDialog() != nullptr; }, 20000));
    w.window->Trust().FollowSideRead();
    EXPECT_TRUE(w.Form().Enabled("ReadAll"));
    EXPECT_TRUE(w.window->MenuItem("CompareWithTracker1")->isEnabled());
    CompareDialog* dialog = w.window->Trust().OpenDialog();
    EXPECT_EQ(dialog->Rows().headerItem()->text(CompareDialog::kOtherColumn), "Tracker");
    EXPECT_TRUE(dialog->SummaryLabel().text().startsWith(QStringLiteral("1 control differs, ")));
    QTreeWidgetItem* row = dialog->RowOf("Port");
    ASSERT_NE(row, nullptr);
    row->setCheckState(CompareDialog::kTabColumn, Qt::Checked);
    dialog->TakeButton()->click();
    EXPECT_EQ(w.Form().Text("Port"), held);
    EXPECT_FALSE(w.window->Trust().Marks().Marked("Port"));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Read All Completed!"});  // no box of its own
}

// A verification's list comes block by block: each tab's rows stay under one heading,
// bytes no control holds get one of their own, and nothing can be ticked or taken.
TEST(TrustTools, VerifyListKeepsATabTogetherAndOffersNothingToTake) {
    Comparison result;
    result.differences = {
        {"TabSheet2", "GPRS", "Port", "Port", "5001", "5002"},
        {"TabSheet3", "Main", "HeartBeatTM", "Heartbeat Interval", "10", "11"},
        {"TabSheet2", "GPRS", "APN", "APN", "a", "b"},
        {"", "", "area 3 offset 9", "reserved byte", "00", "01"},
    };
    CompareView view;
    view.otherHeading = QStringLiteral("Read");
    view.summary = QStringLiteral("Verify failed: 4 controls differ");
    view.selectable = false;
    const CompareDialog dialog(result, view, nullptr);
    QTreeWidget& rows = dialog.Rows();
    ASSERT_EQ(rows.topLevelItemCount(), 3);
    EXPECT_EQ(rows.topLevelItem(0)->text(CompareDialog::kTabColumn), "GPRS");
    EXPECT_EQ(rows.topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(rows.topLevelItem(2)->text(CompareDialog::kTabColumn), "(no control)");
    ASSERT_NE(dialog.RowOf("area 3 offset 9"), nullptr);
    EXPECT_FALSE(dialog.RowOf("APN")->data(CompareDialog::kTabColumn, Qt::CheckStateRole).isValid());
    EXPECT_EQ(dialog.TakeButton(), nullptr);
    EXPECT_EQ(dialog.SummaryLabel().text(), "Verify failed: 4 controls differ");

    Comparison one;
    one.differences = {result.differences[0]};
    one.equal = 1;
    EXPECT_EQ(CompareDialog::Summary(one), "1 control differs, 1 is equal.");
}

// Values read from one tracker and compared with another: the dialog says so.
TEST(TrustTools, CompareWithAnotherTrackerSaysSoAndAClosedPortOpensNoDialog) {
    Window w;
    w.ShowActive();
    qt_test::BoxAnswerer boxes;
    w.window->Trust().CompareWithTracker();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty(); }, 5000));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"The port is not open"});
    EXPECT_EQ(w.window->Trust().OpenDialog(), nullptr);

    {
        sim::PtyTracker first(sim::PtyTrackerOptions{});
        ASSERT_NO_FATAL_FAILURE(Connect(w, first));
        ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "ReadAll", 2));
        As<QPushButton>(w.Form(), "OpenPort").click();
        ASSERT_FALSE(w.window->Logic().PortOpen());
    }
    sim::PtyTrackerOptions other;
    other.device.imei = "860999999999999";
    sim::PtyTracker second(other);
    ASSERT_NO_FATAL_FAILURE(Connect(w, second));
    w.window->Trust().CompareWithTracker();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Trust().OpenDialog() != nullptr; }, 20000));
    CompareDialog* dialog = w.window->Trust().OpenDialog();
    EXPECT_TRUE(dialog->NoteLabel().isVisibleTo(dialog));
    EXPECT_TRUE(dialog->NoteLabel().text().contains(QStringLiteral("860123456789012")));
    EXPECT_TRUE(dialog->NoteLabel().text().contains(QStringLiteral("860999999999999")));
    dialog->reject();
}

TEST(TrustTools, BackUpBeforeWritingSavesAFileTheWindowCanRestore) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    qt_test::BoxAnswerer boxes;
    ASSERT_NO_FATAL_FAILURE(Connect(w, tracker));
    ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "GPRSRead", 1));
    const std::string held = w.Form().Text("Port");
    const std::string written = held == "6001" ? "6002" : "6001";
    w.Form().SetText("Port", written);

    w.window->MenuItem("BackUpBeforeWriting1")->trigger();
    ASSERT_TRUE(w.window->Logic().Safety().Options().backUpBeforeWriting);
    ASSERT_NO_FATAL_FAILURE(ClickAndWait(w, boxes, "GPRSWrite", 2));
    w.window->MenuItem("BackUpBeforeWriting1")->trigger();
    EXPECT_EQ(boxes.Texts()[1], "Write GPRS Completed!");
    ASSERT_TRUE(w.window->Logic().Safety().LastBackupPath().has_value());
    const QString path = QString::fromStdString(*w.window->Logic().Safety().LastBackupPath());
    EXPECT_TRUE(path.startsWith(w.window->Trust().BackupFolder() + QStringLiteral("/860123456789012/")));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(w.window->Dialogs().Panel(2).toolTip(), path);

    // A compare with a backup covers the Temp tab too, which other settings files lack.
    std::string sensor;
    for (const ControlDef& c : Controls())
        if (sensor.empty() && TabCaption(c.tab) == "Temp" && c.kind == ControlKind::Edit && FindStoredUnit(c.name))
            sensor = c.name;
    ASSERT_FALSE(sensor.empty());
    w.Form().SetText(sensor, "Probe 9");
    CompareDialog* dialog = w.window->Trust().CompareWithFile(path);
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(dialog->RowOf(sensor), nullptr);
    dialog->reject();

    // The backup holds what the tracker had before the write.
    w.window->Trust().RestoreBackup(path);
    EXPECT_EQ(w.Form().Text("Port"), held);
    EXPECT_TRUE(w.window->Trust().Marks().Marked("Port"));
    QFile::remove(path);
}

}  // namespace
}  // namespace quorvane

#include "trust_tools_test.moc"
