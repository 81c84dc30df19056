// The traffic panel: it follows a Read All against the simulated tracker in a few
// batches, keeps no more rows than the recorder, and its pause, clear, filters, copy
// and save work on what the recorder recorded.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/qt/line_tools.h"
#include "app/qt/traffic_panel.h"
#include "link/engine.h"
#include "link/frame.h"
#include "link/traffic.h"
#include "sim/pty_tracker.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::Window;

LineTools& ToolsOf(const Window& w) { return *w.window->findChild<LineTools*>(QStringLiteral("LineTools")); }

std::vector<std::uint8_t> Frame(std::uint8_t command, std::vector<std::uint8_t> payload) {
    return MakeFrame(command, payload);
}

// Opens the port to `tracker`, waits for the connect answer and the Device ID read.
void Connect(Window& w, const sim::PtyTracker& tracker) {
    w.Form().SetText("ComboBox1", tracker.SlavePath());
    As<QPushButton>(w.Form(), "OpenPort").click();
    ASSERT_TRUE(w.window->Logic().PortOpen());
    for (int i = 0; i < kConnectPollReload; ++i) w.window->Logic().Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Dialogs().StatusText(0) == "Connected"; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.window->Logic().Engine().State().OperationState == OperationState::OpIdle; }, 10000));
}

TEST(TrafficPanel, FollowsAReadAllInBatchesRowForRowWithTheRecorder) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    w.ShowActive();
    qt_test::BoxAnswerer boxes;
    LineTools& tools = ToolsOf(w);
    TrafficPanel& panel = tools.Traffic();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(qt_test::Caption(tools.TrafficItem()), "Traffic");
    EXPECT_TRUE(w.window->ToolsMenu()->actions().contains(&tools.TrafficItem()));
    tools.TrafficItem().trigger();
    ASSERT_TRUE(panel.isVisible());
    EXPECT_FALSE(panel.isFloating());
    EXPECT_TRUE(panel.PullTimer().isActive());
    EXPECT_EQ(panel.PullTimer().interval(), 100);

    QSignalSpy inserted(&panel.Model(), &QAbstractItemModel::rowsInserted);
    QElapsedTimer clock;
    clock.start();
    Connect(w, tracker);
    As<QPushButton>(w.Form(), "ReadAll").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty(); }, 10000));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Read All Completed!"});
    panel.PullNow();

    // Every row the recorder kept, in its order, and nothing else.
    const TrafficRecorder& recorder = w.window->Logic().Traffic();
    ASSERT_EQ(static_cast<std::size_t>(panel.Model().rowCount()), recorder.Rows().size());
    for (int i = 0; i < panel.Model().rowCount(); ++i)
        EXPECT_EQ(panel.Model().Row(i).sequence, recorder.Rows()[static_cast<std::size_t>(i)].sequence);
    // Connect, the Device ID read and the eight block reads, each asked and answered.
    int readsSent = 0;
    int readsAnswered = 0;
    for (int i = 0; i < panel.Model().rowCount(); ++i) {
        const TrafficRow& r = panel.Model().Row(i);
        if (r.command != "Read Block") continue;
        (r.direction == TrafficDirection::Sent ? readsSent : readsAnswered)++;
    }
    EXPECT_EQ(readsSent, 9);
    EXPECT_EQ(readsAnswered, 9);
    EXPECT_EQ(panel.Model().index(0, TrafficModel::ColCommand).data().toString(), QStringLiteral("Connect"));
    EXPECT_EQ(panel.Model().index(0, TrafficModel::ColDirection).data().toString(), QStringLiteral("TX"));
    // One batch per tick of the pull timer at most, not a row at a time.
    EXPECT_LE(inserted.count(), clock.elapsed() / TrafficPanel::kPullIntervalMs + 2);
    EXPECT_LT(inserted.count(), panel.Model().rowCount());
}

// Rows recorded straight into the window's recorder, as the engine would.
struct RecordedRows {
    explicit RecordedRows(TrafficRecorder& r) : recorder(r) {
        recorder.RecordFrame(TrafficDirection::Sent, Frame(CmdConnect, {0x01, 0xFF, 0xFF, 0xFF, 0xFF}));
        recorder.RecordFrame(TrafficDirection::Received, Frame(CmdConnect, {0x01, 0x01}));
        recorder.RecordFrame(TrafficDirection::Sent, Frame(CmdReadBlock, {0x01, 0x00, 0x00, 0x00, 0x02}));
        recorder.RecordStray(TrafficDirection::Received, std::vector<std::uint8_t>{'O', 'K', '\r', '\n'});
        recorder.RecordFrame(TrafficDirection::Received, Frame(CmdReadBlock, {0x01, 0x00, 0x00, 0x00, 0x02, 7, 8}));
        recorder.RecordFrame(TrafficDirection::Sent, Frame(CmdClearSms, {}));
    }
    TrafficRecorder& recorder;
};

TEST(TrafficPanel, FiltersPauseAndClear) {
    Window w;
    TrafficPanel& panel = ToolsOf(w).Traffic();
    const RecordedRows rows(w.window->Logic().Traffic());
    panel.PullNow();
    ASSERT_EQ(panel.Model().rowCount(), 6);

    panel.SetDirectionFilter(QStringLiteral("RX"));
    EXPECT_EQ(panel.Filter().rowCount(), 3);
    panel.SetCommandFilter(QStringLiteral("Read Block"));
    EXPECT_EQ(panel.Filter().rowCount(), 1);
    panel.SetDirectionFilter(QString());
    EXPECT_EQ(panel.Filter().rowCount(), 2);
    panel.SetCommandFilter(QStringLiteral("-"));  // bytes outside a frame
    ASSERT_EQ(panel.Filter().rowCount(), 1);
    EXPECT_EQ(panel.Filter().index(0, TrafficModel::ColBytes).data().toString(), QStringLiteral("4F 4B 0D 0A"));
    panel.SetCommandFilter(QString());
    EXPECT_EQ(panel.Filter().rowCount(), 6);

    // Paused, the table stands still; resumed, it catches up.
    panel.SetPaused(true);
    rows.recorder.RecordFrame(TrafficDirection::Sent, Frame(CmdDefault, {}));
    panel.PullNow();
    EXPECT_EQ(panel.Model().rowCount(), 6);
    panel.SetPaused(false);
    panel.PullNow();
    EXPECT_EQ(panel.Model().rowCount(), 7);
    EXPECT_EQ(panel.Model().index(6, TrafficModel::ColCommand).data().toString(), QStringLiteral("Default"));

    // Cleared, the table and the recorder are empty, and new rows still come.
    panel.Clear();
    EXPECT_EQ(panel.Model().rowCount(), 0);
    EXPECT_TRUE(rows.recorder.Rows().empty());
    rows.recorder.RecordFrame(TrafficDirection::Sent, Frame(CmdSetMileage, {0, 0, 0, 1}));
    panel.PullNow();
    ASSERT_EQ(panel.Model().rowCount(), 1);
    EXPECT_EQ(panel.Model().index(0, TrafficModel::ColCommand).data().toString(), QStringLiteral("Set Mileage"));
}

TEST(TrafficPanel, CopiesTheSelectedRowsAndSavesEveryRowAsTraceLines) {
    Window w;
    TrafficPanel& panel = ToolsOf(w).Traffic();
    const RecordedRows rows(w.window->Logic().Traffic());
    panel.PullNow();
    panel.SetDirectionFilter(QStringLiteral("TX"));
    ASSERT_EQ(panel.Filter().rowCount(), 3);

    // The second and third rows the filter shows: the read request and Clear SMS.
    QItemSelectionModel& selection = *panel.Table().selectionModel();
    selection.select(panel.Filter().index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection.select(panel.Filter().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const std::deque<TrafficRow>& kept = rows.recorder.Rows();
    const std::string expected = FormatTrafficLine(kept[2]) + "\n" + FormatTrafficLine(kept[5]) + "\n";
    EXPECT_EQ(panel.SelectedText().toStdString(), expected);
    QApplication::clipboard()->clear();
    panel.CopySelected();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);

    // Saving takes every row, also those the filter hides.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.txt"));
    QString error;
    ASSERT_TRUE(panel.SaveTo(path, error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::string all = TrafficHeadingLine() + "\n";
    for (const TrafficRow& r : kept) all += FormatTrafficLine(r) + "\n";
    EXPECT_EQ(file.readAll().toStdString(), all);

    // A folder that does not exist: an error, no crash.
    EXPECT_FALSE(panel.SaveTo(dir.filePath(QStringLiteral("no/such/folder/traffic.txt")), error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(TrafficModel, NeverHoldsMoreRowsThanTheRecorderKeeps) {
    TrafficRecorder recorder(5);
    recorder.SetEnabled(true);
    TrafficModel model(recorder);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    auto record = [&](int n) {
        for (int i = 0; i < n; ++i) recorder.RecordFrame(TrafficDirection::Sent, Frame(CmdConnect, {1, 0, 0, 0, 0}));
    };
    record(3);
    EXPECT_EQ(model.Pull(), 3U);
    record(4);
    EXPECT_EQ(model.Pull(), 4U);
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.Row(0).sequence, 3U);
    EXPECT_EQ(model.Row(4).sequence, 7U);
    EXPECT_EQ(removed.count(), 1);  // the two oldest in one removal
    // Far more than the ring holds between two pulls: the newest five.
    record(12);
    EXPECT_EQ(model.Pull(), 5U);
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.Row(0).sequence, 15U);
    EXPECT_EQ(model.Row(4).sequence, 19U);
    EXPECT_EQ(model.Pull(), 0U);
}

TEST(TrafficModel, KeepsTheStartOfLongRowsAndWritesThemWhole) {
    TrafficRecorder recorder(3);
    recorder.SetEnabled(true);
    TrafficModel model(recorder);
    const std::vector<std::uint8_t> answer = Frame(CmdReadBlock, std::vector<std::uint8_t>(4101, 0x5A));
    recorder.RecordFrame(TrafficDirection::Received, answer);
    model.Pull();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_LT(model.Row(0).bytes.size(), 100U);
    EXPECT_EQ(model.Row(0).length, answer.size());
    EXPECT_TRUE(model.index(0, TrafficModel::ColBytes).data().toString().endsWith(QStringLiteral(" ...")));
    // Copy and save take every byte from the recorder.
    EXPECT_EQ(model.RowText(0), FormatTrafficLine(recorder.Rows().front()));
    EXPECT_EQ(model.RowText(0).size(), FormatTrafficLine(recorder.Rows().front()).size());
    // Dropped by the recorder before the next pull: the kept start, marked as cut.
    for (int i = 0; i < 3; ++i) recorder.RecordFrame(TrafficDirection::Sent, Frame(CmdConnect, {1, 0, 0, 0, 0}));
    const std::string cut = model.RowText(0);
    EXPECT_LT(cut.size(), 400U);
    EXPECT_TRUE(cut.ends_with(" ...")) << cut;
}

}  // namespace
}  // namespace quorvane
