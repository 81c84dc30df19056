// The line in the window: a port lost in the middle of Read All gives one box and no
// time-out box, "Reconnect Automatically" brings the same device or the same link back (and stays off
// when switched off, between runs too), the port list follows adapters coming and
// going, a failed open says why, and Find Tracker lists what answers where.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/qt/find_tracker_dialog.h"
#include "app/qt/line_tools.h"
#include "app/qt/port_combo_box.h"
#include "app/qt/user_options.h"
#include "link/engine.h"
#include "serial/port_list.h"
#include "sim/pty_tracker.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::Window;

LineTools& ToolsOf(const Window& w) { return *w.window->findChild<LineTools*>(QStringLiteral("LineTools")); }

PortInfo Port(const std::string& name, const std::string& serial = "", const std::string& product = "") {
    PortInfo p;
    p.name = name;
    p.serialNumber = serial;
    p.product = product;
    return p;
}

// A port source the test changes as adapters come and go.
struct ScriptedPorts {
    std::vector<PortInfo> ports;
    std::shared_ptr<PortSource> Source() {
        return std::make_shared<FunctionPortSource>([this] { return ports; });
    }
};

// Keeps "Reconnect Automatically" as the test found it in the user's options.
struct ReconnectOptionKept {
    explicit ReconnectOptionKept(UserOptions& o)
        : options(o), was(o.Flag(QString::fromLatin1(LineTools::kReconnectOption), true)) {}
    ~ReconnectOptionKept() { options.SetFlag(QString::fromLatin1(LineTools::kReconnectOption), was); }
    ReconnectOptionKept(const ReconnectOptionKept&) = delete;
    ReconnectOptionKept& operator=(const ReconnectOptionKept&) = delete;
    UserOptions& options;
    bool was;
};

void OpenAndConnect(Window& w, const std::string& path) {
    w.Form().SetText("ComboBox1", path);
    As<QPushButton>(w.Form(), "OpenPort").click();
    ASSERT_TRUE(w.window->Logic().PortOpen());
    for (int i = 0; i < kConnectPollReload; ++i) w.window->Logic().Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Dialogs().StatusText(0) == "Connected"; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.window->Logic().Engine().State().OperationState == OperationState::OpIdle; }, 10000));
}

TEST(LostPort, DuringReadAllGivesOneBoxAndNoOvertimeBox) {
    auto tracker = std::make_unique<sim::PtyTracker>(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    OpenAndConnect(w, tracker->SlavePath());
    // The third block read stays unanswered; the line goes while it is awaited.
    tracker->InjectFault(sim::FaultPlan{sim::Fault::NoAnswer, 1, CmdReadBlock, 2});
    qt_test::BoxAnswerer boxes;
    As<QPushButton>(w.Form(), "ReadAll").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Logic().Engine().State().ReadStep == 2; }, 10000));
    const std::string path = tracker->SlavePath();
    tracker.reset();  // the far end closes: the adapter is gone

    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty(); }, 5000));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"The port " + path +
                                                      " was lost during Read All; the groups read so far are in "
                                                      "the window"});
    EXPECT_FALSE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.Form().Caption("OpenPort"), "Open");
    EXPECT_EQ(w.window->Dialogs().StatusText(0), "Disconnect");
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Port lost");
    EXPECT_FALSE(w.Form().Enabled("ReadAll"));
    // The time-out of the read in flight runs out: no box for it.
    for (int i = 0; i < kReplyTimeout + 2; ++i) w.window->Logic().Timer2Timer();
    QTest::qWait(50);
    EXPECT_EQ(boxes.Texts().size(), 1U);
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Port lost");
}

TEST(LostPort, TheSameDeviceComesBackUnderAnotherNameAndIsReconnected) {
    ScriptedPorts ports;
    auto first = std::make_unique<sim::PtyTracker>(sim::PtyTrackerOptions{});
    ports.ports = {Port("ttyS0"), Port(first->SlavePath(), "QVA1", "Tracker Cable")};
    Window w;
    ReconnectOptionKept kept(w.window->Options());
    w.window->Logic().Watch().SetPortSource(ports.Source());
    LineTools& tools = ToolsOf(w);
    ASSERT_TRUE(tools.ReconnectItem().isCheckable());
    EXPECT_TRUE(tools.ReconnectItem().isChecked());
    w.ShowActive();
    OpenAndConnect(w, first->SlavePath());

    qt_test::BoxAnswerer boxes;
    first.reset();
    ports.ports = {Port("ttyS0")};
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty(); }, 5000));
    EXPECT_EQ(boxes.Texts().front(), "The port " + w.window->Logic().Watch().LostPortName() + " was lost");
    w.window->Logic().Timer2Timer();
    EXPECT_FALSE(w.window->Logic().PortOpen());  // nothing with its identity yet

    // Plugged in again, it comes up under another name with the same serial number;
    // a device that is not the tracker's adapter is left alone.
    sim::PtyTracker second(sim::PtyTrackerOptions{});
    ports.ports = {Port("ttyS0"), Port("/dev/ttyOther9", "ZZZ"), Port(second.SlavePath(), "QVA1", "Tracker Cable")};
    w.window->Logic().Timer2Timer();
    ASSERT_TRUE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.Form().Text("ComboBox1"), second.SlavePath());
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Reconnecting...");
    EXPECT_EQ(w.Form().Caption("OpenPort"), "Close");
    for (int i = 0; i < kConnectPollReload; ++i) w.window->Logic().Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Dialogs().StatusText(0) == "Connected"; }, 10000));
    EXPECT_EQ(boxes.Texts().size(), 1U);
}

// A port opened by a link that no port list shows (a device rule's name for the
// adapter): when the link comes back, the window opens it again.
TEST(LostPort, ALinkThatComesBackIsReconnected) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string link = QDir(dir.path()).filePath(QStringLiteral("tracker-bench1")).toStdString();
    ScriptedPorts ports;
    ports.ports = {Port("ttyS0")};
    sim::PtyTrackerOptions options;
    options.linkPath = link;
    auto first = std::make_unique<sim::PtyTracker>(options);
    Window w;
    ReconnectOptionKept kept(w.window->Options());
    if (!ToolsOf(w).ReconnectItem().isChecked()) ToolsOf(w).ReconnectItem().trigger();
    w.window->Logic().Watch().SetPortSource(ports.Source());
    w.ShowActive();
    ASSERT_NO_FATAL_FAILURE(OpenAndConnect(w, link));

    qt_test::BoxAnswerer boxes;
    first->Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty(); }, 5000));
    EXPECT_EQ(boxes.Texts().front(), "The port " + link + " was lost");
    first.reset();
    w.window->Logic().Timer2Timer();
    EXPECT_FALSE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Port lost");

    sim::PtyTracker second(options);
    w.window->Logic().Timer2Timer();
    ASSERT_TRUE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.Form().Text("ComboBox1"), link);
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Reconnecting...");
    for (int i = 0; i < kConnectPollReload; ++i) w.window->Logic().Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Dialogs().StatusText(0) == "Connected"; }, 10000));
    EXPECT_EQ(boxes.Texts().size(), 1U);
}

TEST(LostPort, NoReconnectWhileTheLossBoxIsOpen) {
    ScriptedPorts ports;
    auto first = std::make_unique<sim::PtyTracker>(sim::PtyTrackerOptions{});
    ports.ports = {Port(first->SlavePath(), "QVA3")};
    Window w;
    ReconnectOptionKept kept(w.window->Options());
    w.window->Logic().Watch().SetPortSource(ports.Source());
    w.ShowActive();
    OpenAndConnect(w, first->SlavePath());

    // While the box is open the device is back and the one-second tick runs: the port
    // stays closed until the box is answered.
    sim::PtyTracker second(sim::PtyTrackerOptions{});
    bool openWhileBox = true;
    std::string text;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        probe.stop();
        text = box->text().toStdString();
        ports.ports = {Port(second.SlavePath(), "QVA3")};
        w.window->Logic().Timer2Timer();
        w.window->Logic().Timer2Timer();
        openWhileBox = w.window->Logic().PortOpen();
        box->button(QMessageBox::Ok)->click();
    });
    probe.start();
    first.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !text.empty(); }, 5000));
    EXPECT_FALSE(openWhileBox);
    EXPECT_FALSE(w.window->Logic().PortOpen());
    w.window->Logic().Timer2Timer();
    EXPECT_TRUE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Reconnecting...");
}

TEST(LostPort, ReconnectSwitchedOffStaysOffAndIsRemembered) {
    ScriptedPorts ports;
    auto first = std::make_unique<sim::PtyTracker>(sim::PtyTrackerOptions{});
    ports.ports = {Port(first->SlavePath(), "QVA2")};
    const std::string path = first->SlavePath();
    {
        Window w;
        ReconnectOptionKept kept(w.window->Options());
        w.window->Logic().Watch().SetPortSource(ports.Source());
        LineTools& tools = ToolsOf(w);
        tools.ReconnectItem().trigger();
        EXPECT_FALSE(tools.ReconnectItem().isChecked());
        EXPECT_FALSE(w.window->Logic().Watch().ReconnectAutomatically());
        EXPECT_FALSE(w.window->Options().Flag(QString::fromLatin1(LineTools::kReconnectOption), true));
        {
            // A second window started now finds it off.
            Window again;
            EXPECT_FALSE(ToolsOf(again).ReconnectItem().isChecked());
            EXPECT_FALSE(again.window->Logic().Watch().ReconnectAutomatically());
        }
        w.ShowActive();
        OpenAndConnect(w, path);
        qt_test::BoxAnswerer boxes;
        first.reset();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty(); }, 5000));
        sim::PtyTracker second(sim::PtyTrackerOptions{});
        ports.ports = {Port(second.SlavePath(), "QVA2")};
        for (int i = 0; i < 3; ++i) w.window->Logic().Timer2Timer();
        EXPECT_FALSE(w.window->Logic().PortOpen());
        EXPECT_EQ(w.window->Dialogs().StatusText(1), "Port lost");
    }
    // The option's keeper has put it back.
    Window later;
    EXPECT_TRUE(ToolsOf(later).ReconnectItem().isChecked());
}

TEST(PortWatch, TheListFollowsAdaptersAndTheTextStays) {
    ScriptedPorts ports;
    ports.ports = {Port("ttyS0")};
    std::vector<std::string> names = {"ttyS0"};
    Window w({"ttyS0"});
    w.window->Logic().Watch().SetPortSource(ports.Source());
    LineTools& tools = ToolsOf(w);
    EXPECT_TRUE(tools.PortWatch().isActive());
    auto& box = As<PortComboBox>(w.Form(), "ComboBox1");
    tools.CheckPorts();  // the new source's list is the baseline
    w.Form().SetText("ComboBox1", "ttyACM7");

    ports.ports = {Port("ttyS0"), Port("ttyUSB0", "A1", "Serial Cable")};
    names = {"ttyS0", "ttyUSB0"};
    tools.CheckPorts();
    EXPECT_EQ(w.Form().Items("ComboBox1"), names);
    EXPECT_EQ(w.Form().Text("ComboBox1"), "ttyACM7");
    EXPECT_EQ(box.ListText(1), QStringLiteral("ttyUSB0    ") + QString::fromStdString(ports.ports[1].Description()));

    // While the list is open it is left alone, and refilled once it closed.
    w.ShowActive();
    box.showPopup();
    ports.ports = {Port("ttyS0")};
    names = {"ttyS0"};
    box.SetDropDownHandler(nullptr);  // only the watch may refill now
    box.hidePopup();
    box.showPopup();
    tools.CheckPorts();
    EXPECT_EQ(w.Form().Items("ComboBox1").size(), 2U);
    box.hidePopup();
    tools.CheckPorts();
    EXPECT_EQ(w.Form().Items("ComboBox1"), names);
    EXPECT_EQ(w.Form().Text("ComboBox1"), "ttyACM7");
}

TEST(OpenFailure, TheErrorBoxGivesTheReasonBesideTheDescribedText) {
    Window w;
    w.Form().SetText("ComboBox1", "/dev/ttyQuorvaneNoSuchPort0");
    std::string text;
    std::string detail;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        text = box->text().toStdString();
        detail = box->informativeText().toStdString();
        box->button(QMessageBox::Ok)->click();
    });
    As<QPushButton>(w.Form(), "OpenPort").click();
    EXPECT_EQ(text, "Error opening serial port");
    EXPECT_NE(detail.find("/dev/ttyQuorvaneNoSuchPort0"), std::string::npos) << detail;
    EXPECT_FALSE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.Form().Caption("OpenPort"), "Open");
}

TEST(FindTracker, ListsTrackersSilentPortsAndPortsThatDoNotOpen) {
    sim::PtyTracker one(sim::PtyTrackerOptions{});
    sim::PtyTrackerOptions otherOptions;
    otherOptions.device.imei = "860000000000777";
    otherOptions.device.serial = "QV420A0099999";
    sim::PtyTracker two(otherOptions);
    sim::PtyTracker silent(sim::PtyTrackerOptions{});
    silent.InjectFault(sim::Fault::NoAnswer, -1);
    sim::PtyTracker own(sim::PtyTrackerOptions{});
    ScriptedPorts ports;
    ports.ports = {Port(one.SlavePath()), Port("/dev/ttyQuorvaneGone3"), Port(silent.SlavePath()),
                   Port(two.SlavePath(), "B7", "Tracker Cable"), Port(own.SlavePath())};
    Window w;
    w.window->Logic().Watch().SetPortSource(ports.Source());
    w.ShowActive();
    OpenAndConnect(w, own.SlavePath());
    own.TakeRequests();

    LineTools& tools = ToolsOf(w);
    tools.FindItem().trigger();
    FindTrackerDialog* dialog = tools.Finder();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->Searching(); }, 5000));

    const std::vector<FindResult>& results = dialog->Results();
    ASSERT_EQ(results.size(), 4U);  // the window's own port is not asked
    EXPECT_EQ(results[0].outcome, FindResult::Outcome::Tracker);
    EXPECT_EQ(results[0].imei, "860123456789012");
    EXPECT_EQ(results[0].serialNumber, "QV420A0012345");
    EXPECT_FALSE(results[0].firmware.empty());
    EXPECT_EQ(results[1].outcome, FindResult::Outcome::OpenFailed);
    EXPECT_EQ(results[1].reason.rfind("Error opening serial port", 0), 0U) << results[1].reason;
    EXPECT_EQ(results[2].outcome, FindResult::Outcome::NoAnswer);
    EXPECT_EQ(results[3].outcome, FindResult::Outcome::Tracker);
    EXPECT_EQ(results[3].imei, "860000000000777");
    EXPECT_TRUE(own.TakeRequests().empty());

    // The list shows each port with its outcome, and the own port as not asked.
    QTreeWidget& list = dialog->List();
    ASSERT_EQ(list.topLevelItemCount(), 5);
    EXPECT_EQ(list.topLevelItem(0)->text(FindTrackerDialog::ColImei), QStringLiteral("860123456789012"));
    EXPECT_TRUE(list.topLevelItem(1)->text(FindTrackerDialog::ColResult).startsWith(QStringLiteral("Error opening")));
    EXPECT_EQ(list.topLevelItem(2)->text(FindTrackerDialog::ColResult), QStringLiteral("No answer"));
    EXPECT_TRUE(list.topLevelItem(3)->text(FindTrackerDialog::ColPort).contains(QStringLiteral("Tracker Cable")));
    EXPECT_TRUE(list.topLevelItem(4)->text(FindTrackerDialog::ColResult).contains(QStringLiteral("not asked")));

    // Choosing a tracker puts its bare name into the port box; a silent port is no choice.
    EXPECT_FALSE(dialog->Choose(2));
    EXPECT_EQ(w.Form().Text("ComboBox1"), own.SlavePath());
    list.setCurrentItem(list.topLevelItem(3));
    dialog->findChild<QPushButton*>(QStringLiteral("FindTrackerUse"))->click();
    EXPECT_EQ(w.Form().Text("ComboBox1"), two.SlavePath());
    EXPECT_FALSE(dialog->isVisible());
}

// A tracker on a path no port list shows is found when the port box names it or
// the user adds it in the window.
TEST(FindTracker, AsksThePortBoxAndAddedPathsBesideTheList) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    sim::PtyTrackerOptions typedOptions;
    typedOptions.linkPath = QDir(dir.path()).filePath(QStringLiteral("tracker-typed")).toStdString();
    sim::PtyTracker typed(typedOptions);
    sim::PtyTrackerOptions addedOptions;
    addedOptions.linkPath = QDir(dir.path()).filePath(QStringLiteral("tracker-added")).toStdString();
    addedOptions.device.imei = "860000000000555";
    sim::PtyTracker added(addedOptions);
    ScriptedPorts ports;
    ports.ports = {Port("/dev/ttyQuorvaneGone3")};
    Window w;
    w.window->Logic().Watch().SetPortSource(ports.Source());
    w.Form().SetText("ComboBox1", typed.LinkPath());
    w.ShowActive();

    LineTools& tools = ToolsOf(w);
    tools.FindItem().trigger();
    FindTrackerDialog* dialog = tools.Finder();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->Searching(); }, 5000));
    ASSERT_EQ(dialog->Results().size(), 2U);
    EXPECT_EQ(dialog->Results()[1].port.name, typed.LinkPath());
    EXPECT_EQ(dialog->Results()[1].outcome, FindResult::Outcome::Tracker);

    auto* path = dialog->findChild<QLineEdit*>(QStringLiteral("FindTrackerPath"));
    ASSERT_NE(path, nullptr);
    path->setText(QString::fromStdString(added.LinkPath()));
    dialog->findChild<QPushButton*>(QStringLiteral("FindTrackerAdd"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->Searching(); }, 5000));
    ASSERT_EQ(dialog->Results().size(), 3U);
    EXPECT_EQ(dialog->Results()[2].imei, "860000000000555");
    EXPECT_TRUE(dialog->Choose(2));
    EXPECT_EQ(w.Form().Text("ComboBox1"), added.LinkPath());
    dialog->close();
}

TEST(FindTracker, AnAuthorizationCodeThatIsNoNumberOpensNothing) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    ScriptedPorts ports;
    ports.ports = {Port(tracker.SlavePath())};
    Window w;
    w.window->Logic().Watch().SetPortSource(ports.Source());
    w.Form().SetText("AuthCode", "12ab");
    LineTools& tools = ToolsOf(w);
    const std::string text = qt_test::AnswerNextBox([&] { tools.FindItem().trigger(); });
    EXPECT_EQ(text.substr(0, text.find('\n')), "'12ab' is not a valid integer value");
    EXPECT_NE(text.find("Auth Code"), std::string::npos) << text;
    ASSERT_NE(tools.Finder(), nullptr);
    EXPECT_FALSE(tools.Finder()->Searching());
    EXPECT_TRUE(tools.Finder()->Results().empty());
    QTest::qWait(50);
    EXPECT_TRUE(tracker.TakeRequests().empty());
}

}  // namespace
}  // namespace quorvane
