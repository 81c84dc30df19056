#include <gtest/gtest.h>

#include "bench.h"

namespace quorvane::integration {
namespace {

class Maintenance : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bench.Connect());
        bench.TakeRequests();
        bench.ui.ClearLog();
    }
    void TearDown() override { EXPECT_TRUE(bench.ui.Errors().empty()); }

    // Presses `click` and waits for `notice`; checks the status text and that the
    // connect poll was restarted.
    void Run(const std::string& click, const std::string& panel, const std::string& notice) {
        bench.ui.ClearLog();
        bench.Press(click);
        ASSERT_TRUE(bench.WaitForNotice(notice)) << click;
        EXPECT_EQ(bench.ui.StatusText(1), panel);
        EXPECT_EQ(bench.ui.Notices(), std::vector<std::string>{notice});
        EXPECT_TRUE(bench.Idle());
    }
    void RunAndReconnect(const std::string& click, const std::string& panel, const std::string& notice) {
        Run(click, panel, notice);
        EXPECT_EQ(bench.window.ConnectPollCount(), kConnectPollReload);
        ASSERT_TRUE(bench.Reconnect());
    }

    Bench bench;
};

TEST_F(Maintenance, DefaultRestoresTheFactoryAreas) {
    bench.form.SetText("APN", "changed");
    bench.Press("ReadAllClick");
    ASSERT_TRUE(bench.WaitForNotice("Read All Completed!"));
    bench.form.SetText("APN", "changed");
    bench.Press("GPRSWriteClick");
    ASSERT_TRUE(bench.WaitForNotice("Write GPRS Completed!"));

    RunAndReconnect("InitAllClick", "Default OK", "Default Completed!");
    bench.Press("GPRSReadClick");
    ASSERT_TRUE(bench.WaitForNotice("Read GPRS Completed!"));
    EXPECT_EQ(bench.form.Text("APN"), "internet");
    EXPECT_EQ(bench.form.Text("DeviceID"), "860123456789012");
}

TEST_F(Maintenance, ClearingABufferShowsItEmptyAfterThePoll) {
    RunAndReconnect("ClearSMSClick", "Clear SMS Buffer OK", "Clear SMS Buffer Completed!");
    EXPECT_EQ(bench.form.Text("SMSBuffer"), "0/100");
    RunAndReconnect("ClearGPRS1Click", "Clear GPRS-1 Buffer OK", "Clear GPRS-1 Buffer Completed!");
    EXPECT_EQ(bench.form.Text("GPRS1Buffer"), "0/3000");
    RunAndReconnect("ClearGPRS2Click", "Clear GPRS-2 Buffer OK", "Clear GPRS-2 Buffer Completed!");
    RunAndReconnect("ClearGPSLogClick", "Clear GPS Log OK", "Clear GPS Log Completed!");
    EXPECT_EQ(bench.form.Text("GPSLog"), "0/60000");

    std::vector<std::uint8_t> commands;
    for (const auto& r : bench.TakeRequests()) commands.push_back(r.command);
    const std::vector<std::uint8_t> expected = {
        CmdClearSms,    CmdConnect, CmdReadBlock, CmdClearGprs1, CmdConnect, CmdReadBlock,
        CmdClearGprs2,  CmdConnect, CmdReadBlock, CmdClearGpsLog, CmdConnect, CmdReadBlock};
    EXPECT_EQ(commands, expected);
}

TEST_F(Maintenance, SetMileageIsShownAfterThePoll) {
    bench.form.SetText("Mileage", "2500");
    RunAndReconnect("SetMileageClick", "Set Mileaga OK", "Set Mileaga Completed!");
    EXPECT_EQ(bench.tracker.State().mileage, 2500u);
    EXPECT_EQ(bench.form.Text("Mileage"), "2500");
}

TEST_F(Maintenance, RfidIdsAreAuthorizedCheckedAndDeleted) {
    bench.form.SetText("RFID_Memo", "0012345678\r\nABCDEF01");
    RunAndReconnect("SET_IDClick", "Auth ID OK", "Auth ID Completed!");
    EXPECT_EQ(bench.form.Text("RFID"), "2");

    bench.form.SetText("RFID_Memo", "");
    RunAndReconnect("CHK_IDClick", "Check ID OK", "Check ID Completed!");
    EXPECT_EQ(bench.form.Text("RFID_Memo"), "0012345678\r\nABCDEF01");

    bench.form.SetText("RFID_Memo", "ABCDEF01");
    RunAndReconnect("DEL_IDClick", "Delete ID OK", "Delete ID Completed!");
    EXPECT_EQ(bench.form.Text("RFID"), "1");
    RunAndReconnect("CHK_IDClick", "Check ID OK", "Check ID Completed!");
    EXPECT_EQ(bench.form.Text("RFID_Memo"), "0012345678");

    bench.form.SetText("RFID_Memo", "not an id");
    RunAndReconnect("SET_IDClick", "Auth ID Error", "Auth ID Error!");
    EXPECT_EQ(bench.tracker.State().rfidIds, std::vector<std::string>{"0012345678"});
}

TEST_F(Maintenance, TemperatureSensorsArePairedAndDeleted) {
    bench.form.SetText("Temp_Index", "2");
    bench.form.SetText("Temp_Name", "Freezer");
    Run("Temp_PairClick", "Temperature Pairing OK", "Temperature Pairing Completed!");
    EXPECT_EQ(bench.window.ConnectPollCount(), 0);  // no poll after a pairing
    bench.Press("Temp_ReadClick");
    ASSERT_TRUE(bench.WaitForNotice("Read Temperature Completed!"));
    EXPECT_EQ(bench.form.Text("Temp2_Name"), "Freezer");
    EXPECT_EQ(bench.form.Text("Temp2_ID").size(), 16u);

    bench.form.SetText("Temp_Name", "");
    Run("Temp_PairClick", "Temperature Deleting OK", "Temperature Deleting Completed!");
    EXPECT_EQ(bench.ui.Questions(), std::vector<std::string>{"Really Delete Temperature?"});
    bench.Press("Temp_ReadClick");
    ASSERT_TRUE(bench.WaitForNotice("Read Temperature Completed!"));
    EXPECT_EQ(bench.form.Text("Temp2_Name"), "");
    EXPECT_EQ(bench.form.Text("Temp2_ID"), "");
    EXPECT_EQ(bench.form.Text("Temp1_Name"), "Cargo");

    bench.form.SetText("Temp_Index", "");
    Run("Temp_PairClick", "Temperature Deleting OK", "Temperature Deleting Completed!");
    EXPECT_EQ(bench.ui.Questions(), std::vector<std::string>{"Really Delete All Temperatures?"});
    bench.Press("Temp_ReadClick");
    ASSERT_TRUE(bench.WaitForNotice("Read Temperature Completed!"));
    EXPECT_EQ(bench.form.Text("Temp1_Name"), "");
}

}  // namespace
}  // namespace quorvane::integration
