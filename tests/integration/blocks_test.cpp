#include <gtest/gtest.h>

#include "bench.h"

namespace quorvane::integration {
namespace {

using sim::Request;
using Bytes = std::vector<std::uint8_t>;

Request Read(std::uint8_t area, int offset, int length) {
    return {CmdReadBlock,
            {area, static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset & 0xFF),
             static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF)}};
}

std::size_t Count(const std::vector<std::string>& texts, const std::string& text) {
    return static_cast<std::size_t>(std::count(texts.begin(), texts.end(), text));
}

std::string AreaText(const sim::TrackerState& state, int area, std::size_t offset) {
    return std::string(reinterpret_cast<const char*>(state.Area(area).data() + offset));
}

class Blocks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bench.Connect());
        bench.TakeRequests();
        bench.ui.ClearLog();
    }
    void TearDown() override { EXPECT_TRUE(bench.ui.Errors().empty()); }

    Bench bench;
};

TEST_F(Blocks, ReadAllFillsEveryTab) {
    bench.Press("ReadAllClick");
    ASSERT_TRUE(bench.WaitForNotice("Read All Completed!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Read All OK");
    EXPECT_EQ(bench.ui.Notices(), std::vector<std::string>{"Read All Completed!"});
    EXPECT_TRUE(bench.Idle());

    const std::vector<Request> expected = {Read(1, 16, 255), Read(2, 0, 34),  Read(2, 478, 32),
                                           Read(2, 34, 156), Read(2, 190, 256), Read(3, 0, 116),
                                           Read(4, 0, 256),  Read(5, 0, 4096)};
    EXPECT_EQ(bench.TakeRequests(), expected);

    const auto panel = bench.ui.StatusTexts(1);
    for (const char* text : {"Reading All...", "Read GPRS OK", "Read Main OK", "Read Interface OK",
                             "Read Temperature OK", "Read Auth OK", "Read GEO OK", "Read Event OK"}) {
        EXPECT_EQ(Count(panel, text), 1u) << text;
    }

    const Form& f = bench.form;
    EXPECT_EQ(f.Text("DeviceID"), "860123456789012");
    EXPECT_EQ(f.Text("APN"), "internet");
    EXPECT_EQ(f.Text("IP"), "203.0.113.10");
    EXPECT_EQ(f.Text("Port"), "5001");
    EXPECT_EQ(f.Text("IP3"), "fleet.example.net");
    EXPECT_EQ(f.ItemIndex("GPRSType"), 1);
    EXPECT_EQ(f.Text("TimeInterval"), "30");
    EXPECT_EQ(f.Text("RoamingInterval"), "120");
    EXPECT_EQ(f.Text("GPSLogTM"), "60");
    EXPECT_EQ(f.Text("LowExtBatAlarm"), "11.40");
    EXPECT_EQ(f.Text("LowSpeed"), "10");
    EXPECT_EQ(f.ItemIndex("Car_Type"), 0);
    EXPECT_EQ(f.Text("Tank1Name"), "Main tank");
    EXPECT_EQ(f.ItemIndex("RS232_1"), 1);
    EXPECT_EQ(f.Text("Temp1_Name"), "Cargo");
    EXPECT_EQ(f.Text("Temp1_ID"), "28FF4C1A0B0A1012");
    EXPECT_EQ(f.Text("Temp1_High"), "8.0");
    EXPECT_EQ(f.Text("Temp1_Low"), "-20.0");
    EXPECT_EQ(f.Text("Temp2_High"), "");
    EXPECT_EQ(f.Text("Password"), "6294");
    EXPECT_EQ(f.Text("Auth1"), "13900000001");
    EXPECT_TRUE(f.Checked("Auth1Position"));
    EXPECT_EQ(f.Text("No1Name"), "Depot");
    EXPECT_EQ(f.Text("No1Lat"), "22.500000");
    EXPECT_TRUE(f.Checked("No1In"));
    EXPECT_EQ(f.Text("IntervalName"), "Interval");
    EXPECT_EQ(f.Text("CurrentName"), "Position");
    EXPECT_TRUE(f.Checked("IN1SMS1"));
    EXPECT_TRUE(f.Checked("StealOUT1"));
}

TEST_F(Blocks, WriteAllThenReadAllGivesTheSameWindow) {
    bench.Press("ReadAllClick");
    ASSERT_TRUE(bench.WaitForNotice("Read All Completed!"));

    Form& f = bench.form;
    f.SetText("APN", "apn.example");
    f.SetText("Port2", "7002");
    f.SetItemIndex("BufferMode2", 0);
    f.SetText("StopInterval2", "1234");
    f.SetText("Speed", "95");
    f.SetItemIndex("SleepMode", 2);
    f.SetText("LowExtBatAlarm", "12.05");
    f.SetItemIndex("Car_Type", 10);
    f.SetText("Tank2Name", "Reserve");
    f.SetText("Out2OnTM", "250");
    f.SetText("Temp4_Name", "Door side");
    f.SetText("Temp4_ID", "28AB00000000CD01");
    f.SetText("Temp4_High", "-5.5");
    f.SetText("SMSTimeZone", "-300");
    f.SetText("Auth3", "15550100003");
    f.SetChecked("Auth3Monitor", true);
    f.SetText("No5Name", "Harbour");
    f.SetText("No5Lat", "-33.856159");
    f.SetText("No5Long", "151.215256");
    f.SetText("No5Radius", "2500");
    f.SetChecked("No5Out", true);
    f.SetText("TowName", "Towed away");
    f.SetChecked("TowCall2", true);
    f.SetChecked("IN1SMS1", false);

    bench.ui.ClearLog();
    bench.TakeRequests();
    bench.Press("WriteAllClick");
    ASSERT_TRUE(bench.WaitForNotice("Write All Completed!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Write All OK");
    EXPECT_EQ(bench.ui.Notices(), std::vector<std::string>{"Write All Completed!"});
    const auto writes = bench.TakeRequests();
    ASSERT_EQ(writes.size(), 8u);
    for (const auto& w : writes) EXPECT_EQ(w.command, CmdWriteBlock);

    const auto state = bench.tracker.State();
    EXPECT_EQ(AreaText(state, 1, 32), "apn.example");
    EXPECT_EQ(AreaText(state, 4, 128), "Harbour");
    EXPECT_EQ(state.Area(2)[479], 10);

    // A second window reads the tracker back.
    const auto written = Snapshot(bench.form);
    bench.window.Guard([&] { bench.window.OpenPortClick(); });
    Editor second(bench.tracker);
    ASSERT_TRUE(second.Connect());
    second.Press("ReadAllClick");
    ASSERT_TRUE(second.WaitForNotice("Read All Completed!"));
    ASSERT_GT(written.size(), 700u);
    EXPECT_EQ(Snapshot(second.form), written);
    EXPECT_EQ(second.form.Text("No5Lat"), "-33.856159");
    EXPECT_EQ(second.form.Text("SMSTimeZone"), "-300");
}

struct Group {
    const char* name;       // as the texts call it
    const char* readClick;
    const char* writeClick;
    std::vector<Request> reads;
    std::function<void(Form&)> edit;
    std::function<bool(const sim::TrackerState&)> written;
};

TEST_F(Blocks, EachGroupReadsAndWritesOnItsOwn) {
    const std::vector<Group> groups = {
        {"GPRS", "GPRSReadClick", "GPRSWriteClick", {Read(1, 16, 255)},
         [](Form& f) { f.SetText("APN", "one.apn"); },
         [](const sim::TrackerState& s) { return AreaText(s, 1, 32) == "one.apn"; }},
        {"Main", "MainSetReadClick", "MainSetWriteClick", {Read(2, 0, 34), Read(2, 478, 32)},
         [](Form& f) {
             f.SetText("GPSLogTM", "77");
             f.SetText("LowSpeed", "33");
         },
         [](const sim::TrackerState& s) { return s.Area(2)[0] == 77 && s.Area(2)[480] == 33; }},
        {"Interface", "InterfaceReadClick", "InterfaceWriteClick", {Read(2, 34, 156)},
         [](Form& f) { f.SetText("Tank1Name", "Left"); },
         [](const sim::TrackerState& s) { return AreaText(s, 2, 58) == "Left"; }},
        {"Temperature", "Temp_ReadClick", "Temp_WriteClick", {Read(2, 190, 256)},
         [](Form& f) { f.SetText("Temp3_Name", "Box"); },
         [](const sim::TrackerState& s) { return AreaText(s, 2, 190 + 64) == "Box"; }},
        {"Auth", "SMSReadClick", "SMSWriteClick", {Read(3, 0, 116)},
         [](Form& f) { f.SetText("Auth2", "4455"); },
         [](const sim::TrackerState& s) { return AreaText(s, 3, 52) == "4455"; }},
        {"GEO", "GEOFenceReadClick", "GEOFenceWriteClick", {Read(4, 0, 256)},
         [](Form& f) { f.SetText("No8Name", "Far"); },
         [](const sim::TrackerState& s) { return AreaText(s, 4, 224) == "Far"; }},
        {"Event", "EventReadClick", "EventWriteClick", {Read(5, 0, 4096)},
         [](Form& f) { f.SetText("IN1Name", "Door"); },
         [](const sim::TrackerState& s) { return AreaText(s, 5, 32) == "Door"; }},
    };
    for (const Group& g : groups) {
        SCOPED_TRACE(g.name);
        const std::string name = g.name;
        bench.ui.ClearLog();
        bench.Press(g.readClick);
        ASSERT_TRUE(bench.WaitForNotice("Read " + name + " Completed!"));
        EXPECT_EQ(bench.ui.StatusText(1), "Read " + name + " OK");
        EXPECT_EQ(bench.TakeRequests(), g.reads);

        g.edit(bench.form);
        bench.ui.ClearLog();
        bench.Press(g.writeClick);
        ASSERT_TRUE(bench.WaitForNotice("Write " + name + " Completed!"));
        EXPECT_EQ(bench.ui.StatusText(1), "Write " + name + " OK");
        EXPECT_EQ(bench.ui.Notices().size(), 1u);
        const auto writes = bench.TakeRequests();
        EXPECT_EQ(writes.size(), g.reads.size());
        EXPECT_TRUE(g.written(bench.tracker.State()));
        EXPECT_TRUE(bench.Idle());
    }
}

TEST(BlocksAtWireSpeed, TheEventAnswerArrivesInSeveralBlocks) {
    Bench bench(Throttled());
    ASSERT_TRUE(bench.Connect());
    bench.blocks.clear();
    bench.Press("EventReadClick");
    ASSERT_TRUE(bench.WaitForNotice("Read Event Completed!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Read Event OK");
    EXPECT_EQ(bench.form.Text("IntervalName"), "Interval");
    EXPECT_EQ(bench.form.Text("StealingName"), "Stealing");
    // 4108 bytes: more than one block of the port, and all of them delivered.
    EXPECT_GE(bench.blocks.size(), 3u);
    std::size_t total = 0;
    for (auto n : bench.blocks) total += n;
    EXPECT_EQ(total, 4108u);
}

}  // namespace
}  // namespace quorvane::integration
