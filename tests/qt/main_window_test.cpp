// The main window around TForm1: its start state after FormCreate, menus, status
// bar, buttons and the port box reaching the logic, the mouse wheel, closing, the
// mailbox, and the blocks encoding the same from the window as from the headless form.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/form1.h"
#include "model/memory_form.h"
#include "app/qt/qt_mailbox.h"
#include "app/qt/qt_ui.h"
#include "app/qt/user_options.h"
#include "model/window_model.h"
#include "blocks/blocks.h"
#include "link/engine.h"
#include "sim/pty_tracker.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::Caption;
using qt_test::Window;

TEST(MainWindow, StartsAsFormCreateLeavesIt) {
    Window w;
    const WidgetForm& f = w.Form();
    for (const std::string& name : LinkButtons()) EXPECT_FALSE(f.Enabled(name)) << name;
    for (const std::string& name : DisabledAtCreate()) EXPECT_FALSE(f.Enabled(name)) << name;
    for (const char* name : {"ClearGPRS1", "ClearGPRS2", "ClearSMS", "ClearGPSLog", "SetMileage", "OpenPort"})
        EXPECT_TRUE(f.Enabled(name)) << name;
    EXPECT_EQ(w.window->Dialogs().StatusText(0), "Disconnect");
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Idle");
    EXPECT_EQ(w.window->Dialogs().StatusText(2), "");
    EXPECT_EQ(w.window->windowTitle().toStdString(), TForm1::kCaption);
    EXPECT_EQ(f.Text("ComboBox1"), "ttyQ0");
    EXPECT_EQ(f.Items("ComboBox1"), (std::vector<std::string>{"ttyQ0", "ttyQ1"}));
    EXPECT_EQ(w.window->PageControl().currentIndex(), 0);
    EXPECT_EQ(w.window->width(), TForm1Window::kClientWidth);
    EXPECT_EQ(w.window->height() - w.window->menuBar()->sizeHint().height(), TForm1Window::kClientHeight);
    EXPECT_FALSE(w.window->Logic().PortOpen());
}

TEST(MainWindow, NoPortsShowsNone) {
    Window w(std::vector<std::string>{});
    EXPECT_EQ(w.Form().Text("ComboBox1"), "None");
    EXPECT_TRUE(w.Form().Items("ComboBox1").empty());
}

TEST(MainWindow, StatusBarHasThreePanelsOfTheirWidths) {
    Window w;
    w.ShowActive();
    QtUi& ui = w.window->Dialogs();
    EXPECT_EQ(ui.Panel(0).width(), 250);
    EXPECT_EQ(ui.Panel(1).width(), 250);
    EXPECT_GE(ui.Panel(2).width(), 50);
    EXPECT_LT(ui.Panel(0).x(), ui.Panel(1).x());
    EXPECT_LT(ui.Panel(1).x(), ui.Panel(2).x());
    EXPECT_THROW(ui.StatusText(3), std::out_of_range);
}

TEST(MainWindow, MenusCarryTheirItems) {
    Window w;
    std::vector<std::string> menus;
    for (QAction* a : w.window->menuBar()->actions()) menus.push_back(Caption(*a));
    EXPECT_EQ(menus, (std::vector<std::string>{"File", "Edit", "Tools", "Help"}));
    EXPECT_EQ(Caption(*w.window->MenuItem("SavetSettings1")), "Save Settings");
    EXPECT_EQ(Caption(*w.window->MenuItem("LoadSettings1")), "Load Settings");
    EXPECT_EQ(Caption(*w.window->MenuItem("Exit1")), "Exit");
    EXPECT_EQ(Caption(*w.window->MenuItem("VisitWebsite1")), TForm1::kWebsite);
    // Each menu and item has its access key, unique within its menu.
    for (QMenu* menu : w.window->findChildren<QMenu*>()) {
        std::set<QChar> keys;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            const QKeySequence key = QKeySequence::mnemonic(a->text());
            EXPECT_FALSE(key.isEmpty()) << a->text().toStdString();
            EXPECT_TRUE(keys.insert(a->text().at(a->text().indexOf(QLatin1Char('&')) + 1).toLower()).second)
                << a->text().toStdString();
        }
    }
    ASSERT_NE(w.window->MenuItem("ContactEmail1"), nullptr);
    EXPECT_TRUE(w.window->findChild<QMenu*>("Edit1")->actions().isEmpty());
    EXPECT_EQ(w.window->ToolsMenu(), w.window->findChild<QMenu*>("Tools1"));
    // The e-mail item does nothing: no box, no change.
    w.window->MenuItem("ContactEmail1")->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(MainWindow, UserOptionsOutliveTheWindowAndStayOutOfSettingsFiles) {
    const QString path = QDir::temp().filePath(QStringLiteral("quorvane-options-test.ini"));
    QFile::remove(path);
    {
        UserOptions options(path);
        EXPECT_TRUE(options.Flag(QStringLiteral("Tools/Sample"), true));
        options.SetFlag(QStringLiteral("Tools/Sample"), false);
        options.SetText(QStringLiteral("Tools/Folder"), QStringLiteral("/tmp/x y"));
    }
    UserOptions again(path);
    EXPECT_FALSE(again.Flag(QStringLiteral("Tools/Sample"), true));
    EXPECT_EQ(again.Text(QStringLiteral("Tools/Folder")), QStringLiteral("/tmp/x y"));
    // The window's own options file lives in the user's configuration folder.
    EXPECT_TRUE(UserOptions::DefaultPath().endsWith(QStringLiteral("/options.ini")));
    EXPECT_FALSE(UserOptions::DefaultPath().contains(QString::fromLatin1(TForm1::kStartupSettingsName)));
    QFile::remove(path);
}

TEST(MainWindow, ExitClosesTheWindow) {
    Window w;
    w.ShowActive();
    w.window->MenuItem("Exit1")->trigger();
    EXPECT_FALSE(w.window->isVisible());
}

TEST(MainWindow, OpenButtonReachesTheLogicAndItsErrorTheErrorBox) {
    Window w(std::vector<std::string>{});
    ASSERT_EQ(w.Form().Text("ComboBox1"), "None");
    const std::string text =
        qt_test::AnswerNextBox([&] { As<QPushButton>(w.Form(), "OpenPort").click(); });
    // The described text, and why on the next line.
    EXPECT_EQ(text, "Error opening serial port\nNo such device: /dev/None does not exist (the adapter may be "
                    "unplugged, or it appeared under another name).");
    EXPECT_FALSE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.Form().Caption("OpenPort"), "Open");
}

TEST(MainWindow, OpeningThePortListRefillsItAndKeepsTheText) {
    Window w;
    std::vector<std::string> ports = {"ttyUSB3"};
    w.window->Logic().Watch().SetPortSource(std::make_shared<FunctionPortSource>([&] { return BarePorts(ports); }));
    w.Form().SetText("ComboBox1", "COM12");
    auto& box = As<QComboBox>(w.Form(), "ComboBox1");
    w.ShowActive();
    box.showPopup();
    EXPECT_EQ(w.Form().Items("ComboBox1"), std::vector<std::string>{"ttyUSB3"});
    EXPECT_EQ(w.Form().Text("ComboBox1"), "COM12");
    box.hidePopup();
    ports.clear();
    box.showPopup();
    EXPECT_TRUE(w.Form().Items("ComboBox1").empty());
    EXPECT_EQ(w.Form().Text("ComboBox1"), "COM12");
    box.hidePopup();
}

void Wheel(QWindow& window, QWidget& over, int delta) {
    const QPointF pos = over.mapTo(over.window(), over.rect().center());
    QWheelEvent event(pos, over.mapToGlobal(over.rect().center()), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&window, &event);
}

TEST(MainWindow, TheWheelAnywhereScrollsTheEventRowsByOneLine) {
    Window w;
    w.ShowActive();
    QScrollBar& bar = *w.window->ScrollBox1().verticalScrollBar();
    ASSERT_GT(bar.maximum(), 0);
    const int line = bar.singleStep();
    QWindow& handle = *w.window->windowHandle();

    Wheel(handle, w.Form().Widget("SN"), -120);
    EXPECT_EQ(bar.value(), line);
    Wheel(handle, w.Form().Widget("SN"), -120);
    EXPECT_EQ(bar.value(), 2 * line);
    Wheel(handle, w.Form().Widget("ReadAll"), 120);
    EXPECT_EQ(bar.value(), line);
    // Half notches of a fine wheel add up to one line.
    Wheel(handle, w.Form().Widget("SN"), -60);
    EXPECT_EQ(bar.value(), line);
    Wheel(handle, w.Form().Widget("SN"), -60);
    EXPECT_EQ(bar.value(), 2 * line);

    // The window's own wheel handling runs as well: over the box's scroll bar, the bar
    // scrolls on top of the line the handler scrolled.
    w.window->PageControl().setCurrentWidget(&w.Form().Widget("TabSheet6"));
    QCoreApplication::processEvents();
    bar.setValue(0);
    Wheel(handle, bar, -120);
    EXPECT_GT(bar.value(), line);
}

TEST(MainWindow, TimersRunTheirHandlersAtTheirIntervals) {
    qt_test::Window w;
    // The fixture stopped them; Create started them.
    w.window->Create();
    EXPECT_TRUE(w.window->Timer1().isActive());
    EXPECT_EQ(w.window->Timer1().interval(), 10);
    EXPECT_TRUE(w.window->Timer2().isActive());
    EXPECT_EQ(w.window->Timer2().interval(), 1000);
}

TEST(MainWindow, ClosingByTheCloseBoxClosesThePort) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    w.Form().SetText("ComboBox1", tracker.SlavePath());
    As<QPushButton>(w.Form(), "OpenPort").click();
    ASSERT_TRUE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.Form().Caption("OpenPort"), "Close");
    EXPECT_TRUE(w.Form().Enabled("ReadAll"));
    w.window->close();
    EXPECT_FALSE(w.window->Logic().PortOpen());
}

// A whole session with the simulated tracker: the port's notifications reach the
// logic through the window's mailbox, and the completion box keeps the loop running.
TEST(MainWindow, ConnectsAndReadsAllFromASimulatedTracker) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    qt_test::BoxAnswerer boxes;
    w.Form().SetText("ComboBox1", tracker.SlavePath());
    As<QPushButton>(w.Form(), "OpenPort").click();
    ASSERT_TRUE(w.window->Logic().PortOpen());

    // The connect request goes out on the 50th tick of the 10 ms timer.
    for (int i = 0; i < 50; ++i) w.window->Logic().Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Dialogs().StatusText(0) == "Connected"; }, 10000));
    EXPECT_EQ(w.Form().Text("IMEI"), "860123456789012");
    EXPECT_EQ(w.Form().Text("SN"), "QV420A0012345");
    // The Device ID read that follows the connect answer finishes first.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.window->Logic().Engine().State().OperationState == OperationState::OpIdle; }, 10000));

    As<QPushButton>(w.Form(), "ReadAll").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty(); }, 10000));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Read All Completed!"});
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Read All OK");
}

TEST(QtMailboxTest, RunsPostedWorkOnTheGuiThreadInPostingOrder) {
    QtMailbox mailbox;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::thread poster([&] {
        for (int i = 0; i < 200; ++i) mailbox.Post([&order, &threads, i] {
            order.push_back(i);
            threads.push_back(std::this_thread::get_id());
        });
    });
    poster.join();
    EXPECT_TRUE(order.empty());  // nothing runs before the event loop delivers it
    QCoreApplication::processEvents();
    ASSERT_EQ(order.size(), 200U);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(QtMailboxTest, AnErrorInPostedWorkGoesToTheRunnerNotTheEventLoop) {
    QtMailbox mailbox;
    std::vector<std::string> errors;
    mailbox.SetRunner([&](const std::function<void()>& work) {
        try {
            work();
        } catch (const std::exception& e) {
            errors.emplace_back(e.what());
        }
    });
    bool later = false;
    mailbox.Post([] { throw std::runtime_error("bad block"); });
    mailbox.Post([&] { later = true; });
    QCoreApplication::processEvents();
    EXPECT_EQ(errors, std::vector<std::string>{"bad block"});
    EXPECT_TRUE(later);
}

// The same edits made in the window by typing and in the headless form by setting
// texts give the same block.
TEST(MainWindow, BlocksEncodeTheSameFromTheWindowAsFromTheHeadlessForm) {
    qt_test::BarePages p;
    MemoryForm memory;
    auto type = [&](const std::string& box, const std::string& keys, const std::string& result) {
        auto& edit = As<QLineEdit>(*p.form, box);
        edit.clear();
        QTest::keyClicks(&edit, QString::fromLatin1(keys.c_str()));
        memory.SetText(box, result);
    };
    type("APN", "internet.example", "internet.example");
    type("IP", "192.0.2.7", "192.0.2.7");
    type("Port", "50x01", "5001");
    type("TimeInterval", "3.0", "30");
    type("IP3", "198.51.100.1", "198.51.100.1");
    type("Port2", "5002", "5002");
    type("Port3", "7000", "7000");
    for (Form* f : {static_cast<Form*>(p.form.get()), static_cast<Form*>(&memory)}) {
        f->SetItemIndex("GPRSType", 1);
        f->SetItemIndex("BufferMode", 1);
        f->SetText("RoamingInterval", "0");  // hidden and empty at start
    }
    TxPayload fromWindow;
    TxPayload fromMemory;
    EncodeGprsBlock(*p.form, fromWindow);
    EncodeGprsBlock(memory, fromMemory);
    ASSERT_GT(fromWindow.length, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(fromWindow.View().begin(), fromWindow.View().end()),
              std::vector<std::uint8_t>(fromMemory.View().begin(), fromMemory.View().end()));

    // Start states encode the same too, Event block included.
    qt_test::BarePages fresh;
    const MemoryForm start;
    TxPayload a;
    TxPayload b;
    EncodeEventBlock(*fresh.form, a);
    EncodeEventBlock(start, b);
    EXPECT_EQ(std::vector<std::uint8_t>(a.View().begin(), a.View().end()),
              std::vector<std::uint8_t>(b.View().begin(), b.View().end()));
}

}  // namespace
}  // namespace quorvane
