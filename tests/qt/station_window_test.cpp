// The station window against simulated trackers on pseudo-terminals: rows reach
// their states with the tracker's identity, a failed tracker says why while the
// others go on, the record holds the command line's fields, Stop and a second Stop,
// restarting, a tracker plugged in during a run, and a bad profile stopped before
// any port is touched.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/qt/station/station_window.h"
#include "serial/port_list.h"
#include "sim/pty_tracker.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::Window;

std::unique_ptr<sim::PtyTracker> Tracker(const std::string& imei, bool throttle = false) {
    sim::PtyTrackerOptions o;
    o.device.imei = imei;
    o.throttle = throttle;
    return std::make_unique<sim::PtyTracker>(o);
}

// The ports the station window lists; a test plugs and unplugs them.
struct Bench {
    std::mutex mutex;
    std::vector<std::string> ports;
    std::shared_ptr<PortSource> Source() {
        return std::make_shared<FunctionPortSource>([this] {
            std::lock_guard<std::mutex> lock(mutex);
            return BarePorts(ports);
        });
    }
    void Plug(const std::string& port) {
        std::lock_guard<std::mutex> lock(mutex);
        ports.push_back(port);
    }
};

std::vector<nlohmann::ordered_json> RecordLines(const QString& path) {
    std::vector<nlohmann::ordered_json> lines;
    std::ifstream in(path.toStdString());
    for (std::string l; std::getline(in, l);) lines.push_back(nlohmann::ordered_json::parse(l));
    return lines;
}

StationWindow& OpenStation(Window& w) {
    QAction* item = w.window->MenuItem(QStringLiteral("Station1"));
    EXPECT_NE(item, nullptr);
    item->trigger();
    auto* station = w.window->findChild<StationWindow*>(QStringLiteral("StationWindow"));
    EXPECT_NE(station, nullptr);
    return *station;
}

StationProfile BenchProfile(const QTemporaryDir& dir) {
    StationProfile p;
    p.name = QStringLiteral("Fleet west");
    p.record = true;
    p.recordFile = dir.filePath(QStringLiteral("record.jsonl"));
    p.verify = true;
    return p;
}

TEST(StationWindow, ServesABenchWithOneFailedTrackerAndRecordsEachAsTheCommandLineDoes) {
    Window w;
    StationWindow& station = OpenStation(w);
    QTemporaryDir dir;
    auto good1 = Tracker("860000000000011");
    auto good2 = Tracker("860000000000022");
    auto bad = Tracker("860000000000033");
    bad->InjectFault(sim::Fault::WrongCommand, 1, std::uint8_t{0x58});
    const std::string missing = dir.filePath(QStringLiteral("no-such-adapter")).toStdString();
    Bench bench;
    for (const auto* t : {good1.get(), good2.get(), bad.get()}) bench.Plug(t->SlavePath());
    bench.Plug(missing);
    station.SetPortSource(bench.Source());

    w.Form().SetText("APN", "fleet.west");
    station.ShowProfile(BenchProfile(dir));
    std::set<QString> states;
    QObject::connect(&station.Rows(), &QTableWidget::itemChanged, [&](QTableWidgetItem* item) {
        if (item->column() == StationWindow::ColState) states.insert(item->text());
    });
    QSignalSpy ended(&station, &StationWindow::StationEnded);
    station.Start();
    ASSERT_TRUE(station.Running()) << station.Error().text().toStdString();
    ASSERT_TRUE(ended.wait(30000));

    for (const auto* t : {good1.get(), good2.get()}) {
        EXPECT_EQ(station.RowText(t->SlavePath(), StationWindow::ColState), "done");
        EXPECT_EQ(station.RowText(t->SlavePath(), StationWindow::ColAttempts), "1");
        EXPECT_EQ(station.RowText(t->SlavePath(), StationWindow::ColProgress), "8 of 8");
    }
    EXPECT_EQ(station.RowText(good1->SlavePath(), StationWindow::ColImei), "860000000000011");
    EXPECT_EQ(station.RowText(good1->SlavePath(), StationWindow::ColSn), "QV420A0012345");
    // The failed tracker says why in the command line's words; a port that is not
    // there fails alone.
    EXPECT_EQ(station.RowText(bad->SlavePath(), StationWindow::ColState), "FAILED");
    EXPECT_EQ(station.RowText(bad->SlavePath(), StationWindow::ColResult), "failed: Write Error!");
    EXPECT_EQ(station.RowText(bad->SlavePath(), StationWindow::ColImei), "860000000000033");
    EXPECT_EQ(station.RowText(missing, StationWindow::ColState), "FAILED");
    EXPECT_TRUE(station.RowText(missing, StationWindow::ColResult).startsWith("not-opened"));
    EXPECT_TRUE(states.count(QStringLiteral("writing 8 of 8")) == 1 || states.count(QStringLiteral("verifying")) == 1);
    EXPECT_EQ(states.count(QStringLiteral("writing 1 of 8")), 1U);
    EXPECT_TRUE(station.Totals().text().contains("Fleet west"));
    EXPECT_TRUE(station.Totals().text().contains("served 4, completed 2, failed 2"));

    // The failed row's log and, on demand, its traffic.
    station.SelectPort(bad->SlavePath());
    EXPECT_TRUE(station.Log().toPlainText().contains("notice: Write Error!"));
    station.ShowTraffic(true);
    EXPECT_TRUE(station.Log().toPlainText().contains("TX\tWrite Block"));
    station.ShowTraffic(false);

    const auto record = RecordLines(dir.filePath(QStringLiteral("record.jsonl")));
    ASSERT_EQ(record.size(), 4U);
    const std::vector<std::string> keys = {"time",    "port",    "imei",   "sn",     "firmware",
                                           "command", "result",  "message", "attempt", "seconds",
                                           "backup",  "verify",  "mismatches", "load", "values"};
    int completed = 0;
    for (const auto& line : record) {
        std::vector<std::string> seen;
        for (const auto& item : line.items()) seen.push_back(item.key());
        EXPECT_EQ(seen, keys);
        EXPECT_EQ(line["command"], "write-all");
        if (line["result"] == "completed") {
            ++completed;
            EXPECT_EQ(line["verify"], "ok");
        }
    }
    EXPECT_EQ(completed, 2);
    // What the window held went to the trackers.
    const std::vector<std::uint8_t> gprs = good2->State().Area(1);
    const std::string apn = "fleet.west";
    EXPECT_NE(std::search(gprs.begin(), gprs.end(), apn.begin(), apn.end()), gprs.end());
}

TEST(StationWindow, RepeatServesAPluggedInTrackerStopsTwiceAndRefusesABadProfileBeforeAnyPort) {
    Window w;
    StationWindow& station = OpenStation(w);
    QTemporaryDir dir;
    auto first = Tracker("860000000000101", true);
    Bench bench;
    bench.Plug(first->SlavePath());
    station.SetPortSource(bench.Source());

    // A per-tracker file that fails its check: nothing starts, no port is opened.
    const QString csv = dir.filePath(QStringLiteral("bad.csv"));
    std::ofstream(csv.toStdString()) << "IMEI,NoSuchControl\n860000000000101,1\n";
    StationProfile profile = BenchProfile(dir);
    profile.verify = false;
    profile.repeat = true;
    profile.perTracker = csv;
    station.ShowProfile(profile);
    station.Start();
    EXPECT_FALSE(station.Running());
    EXPECT_TRUE(station.Error().isVisibleTo(&station));
    EXPECT_TRUE(station.Error().text().contains("NoSuchControl")) << station.Error().text().toStdString();
    EXPECT_TRUE(first->TakeRequests().empty());

    profile.perTracker.clear();
    station.ShowProfile(profile);
    station.Start();
    ASSERT_TRUE(station.Running());
    // The profile started last is the one the next session of the window offers.
    const StationProfile kept = StationProfile::Load(w.window->Options());
    EXPECT_TRUE(kept.repeat);
    EXPECT_TRUE(kept.perTracker.isEmpty());
    EXPECT_EQ(kept.recordFile, profile.recordFile);
    EXPECT_EQ(kept.name, profile.name);
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.RowText(first->SlavePath(), StationWindow::ColState) == "done"; },
                                20000));
    // Plugged in during the run: listed, served.
    auto second = Tracker("860000000000202", true);
    bench.Plug(second->SlavePath());
    station.RefreshPorts();
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.RowText(second->SlavePath(), StationWindow::ColState) == "done"; },
                                20000));
    EXPECT_EQ(station.RowText(second->SlavePath(), StationWindow::ColImei), "860000000000202");
    // The first stays done while its tracker stays.
    EXPECT_EQ(station.RowText(first->SlavePath(), StationWindow::ColState), "done");

    QSignalSpy ended(&station, &StationWindow::StationEnded);
    station.Stop();
    ASSERT_TRUE(ended.wait(10000));
    EXPECT_FALSE(station.Running());

    // Restarted: a new tracker on the first cable is written; a second Stop ends
    // its write at once, with its record.
    first->Unplug();
    auto third = Tracker("860000000000303", true);
    bench.ports = {third->SlavePath()};
    station.Start();
    ASSERT_TRUE(station.Running());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return station.RowText(third->SlavePath(), StationWindow::ColState).startsWith("writing"); }, 20000));
    station.Stop();
    station.Stop();
    ASSERT_TRUE(ended.wait(10000));
    EXPECT_EQ(station.RowText(third->SlavePath(), StationWindow::ColState), "FAILED");
    EXPECT_EQ(station.RowText(third->SlavePath(), StationWindow::ColResult),
              "interrupted: stopped at once while writing");
    const auto record = RecordLines(profile.recordFile);
    ASSERT_EQ(record.size(), 3U);
    EXPECT_EQ(record[2]["imei"], "860000000000303");
    EXPECT_EQ(record[2]["result"], "interrupted");

    // Closing the main window while the station runs asks first, then stops it.
    station.Start();
    ASSERT_TRUE(station.Running());
    const std::string question = qt_test::AnswerNextBox([&] { w.window->close(); });
    EXPECT_NE(question.find("serving trackers"), std::string::npos);
    EXPECT_FALSE(station.Running());
}

// Read All from the station: one settings file per tracker in the chosen folder,
// named by its IMEI, holding what that tracker stores.
TEST(StationWindow, ReadAllSavesOneSettingsFilePerTrackerNamedByItsImei) {
    Window w;
    StationWindow& station = OpenStation(w);
    QTemporaryDir dir;
    auto a = Tracker("860000000000401");
    auto b = Tracker("860000000000402");
    Bench bench;
    bench.Plug(a->SlavePath());
    bench.Plug(b->SlavePath());
    station.SetPortSource(bench.Source());
    StationProfile profile = BenchProfile(dir);
    profile.command = StationProfile::Command::ReadAll;
    profile.readFolder = dir.filePath(QStringLiteral("read"));
    station.ShowProfile(profile);
    QSignalSpy ended(&station, &StationWindow::StationEnded);
    station.Start();
    ASSERT_TRUE(station.Running()) << station.Error().text().toStdString();
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_EQ(station.RowText(a->SlavePath(), StationWindow::ColState), "done");
    EXPECT_EQ(station.RowText(b->SlavePath(), StationWindow::ColState), "done");
    for (const char* imei : {"860000000000401", "860000000000402"}) {
        std::ifstream in((profile.readFolder + QLatin1Char('/') + QLatin1String(imei) + QStringLiteral(".ini")).toStdString());
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_NE(text.find("[GPRS]"), std::string::npos) << imei;
    }
    const auto record = RecordLines(profile.recordFile);
    ASSERT_EQ(record.size(), 2U);
    EXPECT_EQ(record[0]["command"], "read-all " + profile.readFolder.toStdString());
}

}  // namespace
}  // namespace quorvane
