// What the user sees when the tracker misbehaves.
#include <gtest/gtest.h>

#include "bench.h"

namespace quorvane::integration {
namespace {

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bench.Connect());
        bench.TakeRequests();
        bench.ui.ClearLog();
    }
    void TearDown() override { EXPECT_TRUE(bench.ui.Errors().empty()); }

    // Presses `click` and waits until the tracker has had the request and, when it
    // answers, until the window has been handed every byte of the answer.
    void PressAndSettle(const std::string& click, bool answers) {
        const auto answered = bench.tracker.AnswersSent();
        const auto sentBefore = bench.tracker.BytesSent();
        bench.blocks.clear();
        bench.Press(click);
        ASSERT_EQ(bench.WaitForRequests(1).size(), 1u);
        bench.TakeRequests();
        if (!answers) return;
        ASSERT_TRUE(bench.WaitUntil([&] {
            std::size_t delivered = 0;
            for (auto n : bench.blocks) delivered += n;
            return bench.tracker.AnswersSent() > answered && delivered == bench.tracker.BytesSent() - sentBefore;
        }));
    }
    void ExpectTimeOut(const std::string& panel, const std::string& notice) {
        EXPECT_TRUE(bench.ui.Notices().empty());
        bench.TickTimer2(kReplyTimeout - 1);
        EXPECT_TRUE(bench.ui.Notices().empty());
        bench.TickTimer2(1);
        EXPECT_EQ(bench.ui.StatusText(1), panel);
        EXPECT_EQ(bench.ui.Notices(), std::vector<std::string>{notice});
        EXPECT_TRUE(bench.Idle());
    }

    Bench bench;
};

TEST_F(Faults, NoAnswerIsAReadTimeOut) {
    bench.tracker.InjectFault(Fault::NoAnswer);
    PressAndSettle("GPRSReadClick", false);
    ExpectTimeOut("Read Error", "Read Overtime!");
}

TEST_F(Faults, NoAnswerInTheMiddleOfReadAllStopsTheChain) {
    // GPRS, Main and its extension are answered; the Interface read is not.
    bench.tracker.InjectFault(sim::FaultPlan{Fault::NoAnswer, 1, CmdReadBlock, 3});
    bench.Press("ReadAllClick");
    ASSERT_EQ(bench.WaitForRequests(4).size(), 4u);
    ASSERT_TRUE(bench.WaitUntil([&] { return bench.ui.StatusText(1) == "Read Main OK"; }));
    ExpectTimeOut("Read Error", "Read Overtime!");
    EXPECT_EQ(bench.TakeRequests().size(), 4u);  // nothing sent again
    EXPECT_EQ(bench.form.Text("APN"), "internet");  // the groups read stay
    EXPECT_EQ(bench.form.Text("LowSpeed"), "10");
    EXPECT_EQ(bench.form.Text("Tank1Name"), "");
}

TEST_F(Faults, ACorruptCrcIsIgnoredUntilTheTimeOut) {
    bench.tracker.InjectFault(Fault::CorruptCrc);
    PressAndSettle("SMSReadClick", true);
    EXPECT_EQ(bench.ui.StatusText(1), "Reading Auth...");
    ExpectTimeOut("Read Error", "Read Overtime!");
}

TEST_F(Faults, AWrongCommandIsAnErrorAtOnce) {
    bench.tracker.InjectFault(Fault::WrongCommand);
    bench.Press("GEOFenceReadClick");
    ASSERT_TRUE(bench.WaitForNotice("Read Error!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Read Error!");
    EXPECT_TRUE(bench.Idle());

    bench.ui.ClearLog();
    bench.tracker.InjectFault(Fault::WrongCommand);
    bench.Press("GEOFenceWriteClick");
    ASSERT_TRUE(bench.WaitForNotice("Write Error!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Write Error!");
    EXPECT_EQ(bench.ui.Notices(), std::vector<std::string>{"Write Error!"});
}

TEST_F(Faults, StatusZeroIsAWriteTimeOut) {
    bench.tracker.InjectFault(Fault::StatusZero);
    PressAndSettle("SMSWriteClick", true);
    EXPECT_EQ(bench.ui.StatusText(1), "Writing Auth...");
    ExpectTimeOut("Write Error", "Write Overtime!");
}

TEST_F(Faults, StatusZeroOnAClearIsItsTimeOut) {
    bench.tracker.InjectFault(Fault::StatusZero);
    PressAndSettle("ClearGPRS1Click", true);
    ExpectTimeOut("Clear GPRS-1 Buffer Error", "Clear GPRS-1 Buffer Overtime!");
    EXPECT_EQ(bench.tracker.State().Counters(sim::Buffer::Gprs1).stored, 12u);
}

TEST_F(Faults, ASplitAnswerIsStillFound) {
    bench.tracker.InjectFault(Fault::SplitAnswer);
    bench.blocks.clear();
    bench.Press("InterfaceReadClick");
    ASSERT_TRUE(bench.WaitForNotice("Read Interface Completed!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Read Interface OK");
    EXPECT_EQ(bench.form.Text("Tank1Name"), "Main tank");
    EXPECT_GE(bench.blocks.size(), 2u);  // it came in two blocks
}

TEST_F(Faults, GarbageBeforeTheAnswerDoesNotMatter) {
    bench.tracker.InjectFault(Fault::GarbageBefore, -1);
    bench.Press("ReadAllClick");
    ASSERT_TRUE(bench.WaitForNotice("Read All Completed!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Read All OK");
    EXPECT_EQ(bench.form.Text("IntervalName"), "Interval");
}

TEST_F(Faults, BootTextRestartsTheConnectPoll) {
    bench.tracker.InjectFault(Fault::BootText);
    bench.Press("GPRSReadClick");
    ASSERT_TRUE(bench.WaitUntil([&] { return bench.window.ConnectPollCount() == kConnectPollReload; }));
    ASSERT_TRUE(bench.Reconnect());
    const auto requests = bench.TakeRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].command, CmdReadBlock);
    EXPECT_EQ(requests[1].command, CmdConnect);
    EXPECT_EQ(requests[2].command, CmdReadBlock);  // the Device ID
    EXPECT_TRUE(bench.ui.Notices().empty());  // the read was abandoned by the poll
}

TEST_F(Faults, RefusedRfidCommandsShowTheirErrors) {
    bench.form.SetText("RFID_Memo", "1234");
    bench.tracker.InjectFault(Fault::Refused);
    bench.Press("SET_IDClick");
    ASSERT_TRUE(bench.WaitForNotice("Auth ID Error!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Auth ID Error");
    EXPECT_TRUE(bench.tracker.State().rfidIds.empty());

    bench.tracker.InjectFault(Fault::Refused);
    bench.Press("CHK_IDClick");
    ASSERT_TRUE(bench.WaitForNotice("Check ID Error!"));
    EXPECT_EQ(bench.ui.StatusText(1), "Check ID Error");
    EXPECT_EQ(bench.form.Text("RFID_Memo"), "1234");  // left as it was
}

TEST_F(Faults, ARejectedConnectIsAnAuthCodeError) {
    bench.tracker.InjectFault(Fault::StatusZero, 1, CmdConnect);
    bench.Press("InitAllClick");
    ASSERT_TRUE(bench.WaitForNotice("Default Completed!"));
    ASSERT_TRUE(bench.Reconnect());
    EXPECT_EQ(bench.ui.Notices(), (std::vector<std::string>{"Default Completed!", "Auth Code Error!"}));
}

}  // namespace
}  // namespace quorvane::integration
