// Verify after a write, back up before one, compare with the tracker: the window's
// logic against the simulated tracker, with the test as the clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "bench.h"
#include "settings/settings_file.h"

namespace quorvane::integration {
namespace {

using TrackerComparison = quorvane::WriteSafety::TrackerComparison;

std::size_t Count(const std::vector<sim::Request>& requests, std::uint8_t command) {
    return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                                                  [&](const sim::Request& r) { return r.command == command; }));
}

class WriteSafety : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bench.Connect());
        bench.Press("ReadAllClick");
        ASSERT_TRUE(bench.WaitForNotice("Read All Completed!"));
        bench.TakeRequests();
        bench.ui.ClearLog();
    }

    void Options(bool verify, bool backup) {
        bench.window.Safety().SetOptions({verify, backup, (backups.Path() / "backups").string(), 20});
    }
    // Waits until no side read runs and the engine is idle.
    bool Settle() {
        return bench.WaitUntil([&] { return !bench.window.Busy(); });
    }

    Bench bench;
    sim::test::TempDir backups;
};

TEST_F(WriteSafety, OptionsOffAddNoTrafficAndNoText) {
    bench.form.SetText("APN", "web.example");
    bench.Press("GPRSWriteClick");
    ASSERT_TRUE(bench.WaitForNotice("Write GPRS Completed!"));
    ASSERT_TRUE(Settle());
    const auto requests = bench.TakeRequests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].command, CmdWriteBlock);
    EXPECT_EQ(bench.ui.Notices(), std::vector<std::string>{"Write GPRS Completed!"});
    EXPECT_EQ(bench.ui.StatusText(1), "Write GPRS OK");
    EXPECT_FALSE(bench.window.Safety().LastVerify());
    EXPECT_FALSE(bench.window.Safety().LastBackupPath());
}

TEST_F(WriteSafety, VerifyNamesTheControlTheTrackerStoredWrong) {
    Options(true, false);
    bench.form.SetText("APN", "web.example");
    bench.tracker.InjectFault(sim::FaultPlan{Fault::StoreWrong, 1, CmdWriteBlock});
    bench.Press("GPRSWriteClick");
    ASSERT_TRUE(bench.WaitUntil([&] { return bench.window.Safety().LastVerify().has_value(); }));
    ASSERT_TRUE(Settle());

    const Comparison& result = *bench.window.Safety().LastVerify();
    ASSERT_EQ(result.differences.size(), 1U);
    EXPECT_EQ(result.differences[0].control, "APN");
    EXPECT_EQ(result.differences[0].thisValue, "web.example");
    EXPECT_EQ(result.differences[0].otherValue, "xeb.example");
    EXPECT_EQ(bench.ui.Notices(), std::vector<std::string>{"Write GPRS Completed!"});
    EXPECT_EQ(bench.ui.Errors(), std::vector<std::string>{"Verify failed: 1 control differs\n"
                                                          "APN (GPRS: APN): sent 'web.example', read 'xeb.example'"});
    EXPECT_EQ(bench.ui.StatusText(1), "Verify failed");
    EXPECT_EQ(bench.form.Text("APN"), "web.example");  // the read back never reaches the window

    const auto requests = bench.TakeRequests();
    EXPECT_EQ(Count(requests, CmdWriteBlock), 1U);
    EXPECT_EQ(Count(requests, CmdReadBlock), 1U);  // one read of the area written
}

TEST_F(WriteSafety, VerifyComparesWithWhatTheWindowHeld) {
    Options(true, false);
    bench.form.SetText("APN", "internet");
    bench.form.SetText("Port", "0080");  // 80, written another way: the same value
    bench.Press("GPRSWriteClick");
    bench.form.SetText("APN", "edited");  // while the write is on its way
    ASSERT_TRUE(bench.WaitUntil([&] { return bench.window.Safety().LastVerify().has_value(); }));
    ASSERT_TRUE(Settle());

    const Comparison& result = *bench.window.Safety().LastVerify();
    ASSERT_EQ(result.differences.size(), 1U);
    EXPECT_EQ(result.differences[0].control, "APN");
    EXPECT_EQ(result.differences[0].thisValue, "edited");
    EXPECT_EQ(result.differences[0].sentValue, "internet");
    EXPECT_EQ(bench.ui.Errors(), std::vector<std::string>{"Verify failed: 1 control differs\n"
                                                          "APN (GPRS: APN): window 'edited', sent 'internet', "
                                                          "read 'internet'"});
}

TEST_F(WriteSafety, ACleanWriteAllVerifiesOk) {
    Options(true, false);
    bench.form.SetText("Speed", "99");
    bench.Press("WriteAllClick");
    ASSERT_TRUE(bench.WaitForNotice("Verify OK"));
    ASSERT_TRUE(Settle());
    EXPECT_EQ(bench.ui.Notices(), (std::vector<std::string>{"Write All Completed!", "Verify OK"}));
    EXPECT_EQ(bench.ui.StatusText(1), "Verify OK");
    EXPECT_TRUE(bench.ui.Errors().empty());
    const auto requests = bench.TakeRequests();
    EXPECT_EQ(Count(requests, CmdWriteBlock), 8U);
    EXPECT_EQ(Count(requests, CmdReadBlock), 8U);
    EXPECT_TRUE(bench.window.Safety().ChangedControls().empty());  // a write clears the marks
}

TEST_F(WriteSafety, AVerificationReadThatTimesOutIsOneError) {
    Options(true, false);
    bench.tracker.InjectFault(sim::FaultPlan{Fault::NoAnswer, 1, CmdReadBlock});
    bench.Press("GEOFenceWriteClick");
    ASSERT_TRUE(bench.WaitForNotice("Write GEO Completed!"));
    ASSERT_EQ(bench.WaitForRequests(2).size(), 2U);
    ASSERT_TRUE(bench.window.Safety().SideReadActive());
    EXPECT_FALSE(bench.window.Click("ReadAllClick"));  // the line is taken
    bench.TickTimer2(kReplyTimeout);
    EXPECT_FALSE(bench.window.Safety().SideReadActive());
    EXPECT_EQ(bench.ui.Errors(), std::vector<std::string>{
                                     "Verify failed: the tracker could not be read back (Read Overtime!)"});
    EXPECT_EQ(bench.ui.StatusText(1), "Verify Error");
    EXPECT_FALSE(bench.window.Safety().LastVerify());
}

TEST_F(WriteSafety, ABackupRestoresTheTrackerByteForByte) {
    const sim::TrackerState original = bench.tracker.State();
    Options(false, true);
    bench.form.SetText("APN", "web.example");
    bench.form.SetText("TimeInterval", "61");
    bench.form.SetChecked("No2In", true);
    bench.form.SetText("ExtPowerLowName", "Mains gone");
    bench.Press("WriteAllClick");
    ASSERT_TRUE(bench.WaitForNotice("Write All Completed!"));
    ASSERT_TRUE(Settle());
    const auto requests = bench.TakeRequests();
    ASSERT_EQ(requests.size(), 16U);
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(requests[k].command, CmdReadBlock) << "the backup comes first";
    ASSERT_TRUE(bench.window.Safety().LastBackupPath());
    const std::filesystem::path backup = *bench.window.Safety().LastBackupPath();
    EXPECT_EQ(backup.parent_path(), backups.Path() / "backups" / bench.form.Text("IMEI"));
    EXPECT_NE(bench.tracker.State().areas, original.areas);

    Options(false, false);
    bench.window.Guard([&] { bench.window.Safety().LoadBackup(backup.string()); });
    EXPECT_EQ(bench.form.Text("APN"), "internet");
    bench.Press("WriteAllClick");
    ASSERT_EQ(bench.ui.Errors(), std::vector<std::string>{});
    ASSERT_TRUE(bench.WaitUntil([&] { return bench.ui.Notices().size() == 2; }));
    EXPECT_EQ(bench.tracker.State().areas, original.areas);
}

TEST_F(WriteSafety, NothingIsWrittenWhenTheBackupFails) {
    std::ofstream(backups.Path() / "backups") << "a file where the folder should be";
    Options(false, true);
    bench.Press("WriteAllClick");
    ASSERT_TRUE(Settle());
    ASSERT_EQ(bench.ui.Errors().size(), 1U);
    EXPECT_EQ(bench.ui.Errors()[0].rfind("Backup failed: Unable to write to ", 0), 0U) << bench.ui.Errors()[0];
    EXPECT_NE(bench.ui.Errors()[0].find("Nothing was written."), std::string::npos);
    EXPECT_EQ(Count(bench.TakeRequests(), CmdWriteBlock), 0U);

    // A tracker that stops answering half-way through the backup read.
    bench.ui.ClearLog();
    std::filesystem::remove(backups.Path() / "backups");
    bench.tracker.InjectFault(sim::FaultPlan{Fault::NoAnswer, 1, CmdReadBlock, 3});
    bench.Press("InitAllClick");
    ASSERT_EQ(bench.WaitForRequests(4).size(), 4U);
    bench.TickTimer2(kReplyTimeout);
    EXPECT_EQ(bench.ui.Errors(),
              std::vector<std::string>{"Backup failed: the tracker's configuration could not be read (Read Overtime!). "
                                               "Nothing was written."});
    EXPECT_TRUE(bench.ui.Notices().empty());
    EXPECT_EQ(Count(bench.TakeRequests(), CmdDefault), 0U);
    EXPECT_FALSE(bench.window.Busy());
}

TEST_F(WriteSafety, LoadingAFileMarksWhatItChangedAgainstTheLastRead) {
    const std::string path = (backups.Path() / "changed.ini").string();
    MemoryForm other;
    CopyControls(bench.form, other, {"APN", "BufferMode", "No2In"});
    other.SetText("APN", "web.example");
    other.SetChecked("No2In", !bench.form.Checked("No2In"));
    SaveSettingsFile(other, path);
    bench.window.Guard([&] { bench.window.Safety().LoadBackup(path); });
    const std::vector<std::string> changed = bench.window.Safety().ChangedControls();
    EXPECT_NE(std::find(changed.begin(), changed.end(), "APN"), changed.end());
    EXPECT_NE(std::find(changed.begin(), changed.end(), "No2In"), changed.end());
    EXPECT_EQ(bench.window.Safety().ChangedTabs().front(), "TabSheet2");

    // Reading a group clears its marks only.
    bench.Press("GPRSReadClick");
    ASSERT_TRUE(bench.WaitForNotice("Read GPRS Completed!"));
    for (const std::string& name : bench.window.Safety().ChangedControls())
        EXPECT_NE(FindControl(name)->tab, "TabSheet2") << name;
    const std::vector<std::string> after = bench.window.Safety().ChangedControls();
    EXPECT_NE(std::find(after.begin(), after.end(), "No2In"), after.end());

    // A foreign file changes nothing.
    std::ofstream(backups.Path() / "foreign.ini") << "just text\n";
    bench.ui.ClearLog();
    const auto before = Snapshot(bench.form);
    bench.window.Guard([&] { bench.window.Safety().LoadBackup((backups.Path() / "foreign.ini").string()); });
    EXPECT_EQ(bench.ui.Errors().size(), 1U);
    EXPECT_EQ(Snapshot(bench.form), before);
}

TEST_F(WriteSafety, CompareWithTrackerLeavesTheWindowAlone) {
    bench.form.SetText("APN", "web.example");
    bench.form.SetText("Speed", "0" + bench.form.Text("Speed"));  // the same stored value
    const auto before = Snapshot(bench.form);
    std::optional<TrackerComparison> result;
    ASSERT_TRUE(bench.window.Safety().CompareWithTracker([&](const TrackerComparison& c) { result = c; }));
    ASSERT_TRUE(bench.WaitUntil([&] { return result.has_value(); }));
    ASSERT_TRUE(result->ok);
    ASSERT_EQ(result->comparison.differences.size(), 1U);
    EXPECT_EQ(result->comparison.differences[0].control, "APN");
    EXPECT_EQ(result->comparison.differences[0].otherValue, "internet");
    EXPECT_FALSE(result->otherDevice);
    EXPECT_EQ(Snapshot(bench.form), before);
    EXPECT_EQ(bench.window.Safety().ChangedControls(), std::vector<std::string>{"APN"});

    // "Take selected into window" makes the window equal again and clears the mark.
    bench.window.Safety().TakeIntoWindow(*result->tracker, {"APN"});
    EXPECT_EQ(bench.form.Text("APN"), "internet");
    EXPECT_TRUE(bench.window.Safety().ChangedControls().empty());

    // The window's values came from another tracker than the one connected now.
    bench.TakeRequests();
    bench.form.SetText("IMEI", "861111111111111");  // as a connect to another tracker leaves it
    result.reset();
    ASSERT_TRUE(bench.window.Safety().CompareWithTracker([&](const TrackerComparison& c) { result = c; }));
    ASSERT_TRUE(bench.WaitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->otherDevice);
    EXPECT_NE(result->deviceNote.find("861111111111111"), std::string::npos) << result->deviceNote;
    EXPECT_NE(result->deviceNote.find(std::string("860123456789012")), std::string::npos) << result->deviceNote;

    // A tracker that stops answering half-way: one error, the window unchanged.
    bench.ui.ClearLog();
    EXPECT_EQ(Count(bench.TakeRequests(), CmdReadBlock), 8U);  // one read of every block
    result.reset();
    bench.tracker.InjectFault(sim::FaultPlan{Fault::NoAnswer, 1, CmdReadBlock, 5});
    ASSERT_TRUE(bench.window.Safety().CompareWithTracker([&](const TrackerComparison& c) { result = c; }));
    ASSERT_EQ(bench.WaitForRequests(6).size(), 6U);
    bench.TickTimer2(kReplyTimeout);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->ok);
    EXPECT_EQ(bench.ui.Errors(), std::vector<std::string>{"Could not read the tracker (Read Overtime!)"});
}

// Opens the port and lets the connect poll send its request; the answer is not taken yet.
void OpenAndPoll(Bench& bench) {
    bench.form.SetText("ComboBox1", bench.tracker.SlavePath());
    bench.window.Guard([&] { bench.window.OpenPortClick(); });
    ASSERT_TRUE(bench.window.PortOpen());
    bench.TickTimer1(kConnectPollReload);
}

TEST(SideReadRaces, NoSideReadStartsWhileTheConnectPollAwaitsItsAnswer) {
    Bench bench;
    sim::test::TempDir backups;
    bench.window.Safety().SetOptions({false, false, backups.Path().string(), 20});
    OpenAndPoll(bench);
    std::optional<TrackerComparison> result;
    EXPECT_FALSE(bench.window.Safety().CompareWithTracker([&](const TrackerComparison& c) { result = c; }));
    EXPECT_FALSE(bench.window.Safety().BackUp([](bool) {}));
    EXPECT_EQ(bench.ui.Errors(), (std::vector<std::string>{
                                     "The tracker is not connected yet; try again when it has answered",
                                     "Backup failed: the tracker is not connected yet. Nothing was written."}));

    // The connect answer reaches the window, not a side read.
    ASSERT_TRUE(bench.WaitUntil([&] { return bench.window.Connected() && !bench.window.Busy(); }));
    EXPECT_EQ(bench.ui.StatusText(0), "Connected");
    EXPECT_EQ(bench.form.Text("DeviceID"), "860123456789012");
    const auto requests = bench.WaitForRequests(2);
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0].command, CmdConnect);
    EXPECT_EQ(requests[1].command, CmdReadBlock);  // the Device ID

    // Connected, the same compare reads the tracker.
    ASSERT_TRUE(bench.window.Safety().CompareWithTracker([&](const TrackerComparison& c) { result = c; }));
    ASSERT_TRUE(bench.WaitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->ok) << result->error;
}

TEST(SideReadRaces, ABackupNeverTakesTheDeviceIdAnswer) {
    Bench bench;
    sim::test::TempDir backups;
    bench.window.Safety().SetOptions({false, true, backups.Path().string(), 20});
    OpenAndPoll(bench);
    // The connect answer is in and the Device ID read, at GPRS's area and offset, is out.
    ASSERT_TRUE(bench.WaitUntil([&] { return bench.Engine().DeviceIdPending; }));
    EXPECT_FALSE(bench.window.Safety().BackUp([](bool) {}));
    bench.Press("GPRSWriteClick");  // backs up first: refused as well, nothing written
    const std::string busy = "Backup failed: the tracker is busy with another operation. Nothing was written.";
    EXPECT_EQ(bench.ui.Errors(), (std::vector<std::string>{busy, busy}));

    ASSERT_TRUE(bench.WaitUntil([&] { return !bench.window.Busy(); }));
    EXPECT_EQ(bench.form.Text("DeviceID"), "860123456789012");
    EXPECT_EQ(bench.TakeRequests().size(), 2U);  // the connect request and the Device ID read

    // Once the Device ID is in, the backup reads every block and is saved.
    std::optional<bool> saved;
    ASSERT_TRUE(bench.window.Safety().BackUp([&](bool ok) { saved = ok; }));
    ASSERT_TRUE(bench.WaitUntil([&] { return saved.has_value(); }));
    EXPECT_TRUE(*saved);
    EXPECT_EQ(bench.ui.Errors().size(), 2U);
    EXPECT_EQ(Count(bench.TakeRequests(), CmdReadBlock), 8U);
}

}  // namespace
}  // namespace quorvane::integration
