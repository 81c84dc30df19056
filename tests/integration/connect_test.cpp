#include <gtest/gtest.h>

#include "bench.h"

namespace quorvane::integration {
namespace {

TEST(Connect, ShowsTheDeviceInformationAndReadsTheDeviceId) {
    Bench bench;
    ASSERT_TRUE(bench.Connect());
    EXPECT_EQ(bench.ui.StatusText(0), "Connected");
    EXPECT_EQ(bench.form.Text("Firmware"), "QV-KR420-V2.1.7");
    EXPECT_EQ(bench.form.Text("IMEI"), "860123456789012");
    EXPECT_EQ(bench.form.Text("SN"), "QV420A0012345");
    EXPECT_EQ(bench.form.Text("SMSBuffer"), "3/100");
    EXPECT_EQ(bench.form.Text("GPRS1Buffer"), "12/3000");
    EXPECT_EQ(bench.form.Text("GPRS2Buffer"), "0/3000");
    EXPECT_EQ(bench.form.Text("GPSLog"), "1520/60000");
    EXPECT_EQ(bench.form.Text("Battery"), "87");
    EXPECT_EQ(bench.form.Text("Mileage"), "123456");
    EXPECT_EQ(bench.form.Text("RFID"), "0");
    EXPECT_EQ(bench.form.Text("DeviceID"), "860123456789012");
    // A KR420 shows inputs 1-4.
    EXPECT_TRUE(bench.form.Visible("In4Mode"));
    EXPECT_FALSE(bench.form.Visible("In5Mode"));

    const auto requests = bench.TakeRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].command, CmdConnect);
    EXPECT_EQ(requests[1], (sim::Request{CmdReadBlock, {1, 0, 16, 0, 15}}));
    EXPECT_TRUE(bench.ui.Notices().empty());
    EXPECT_TRUE(bench.ui.Errors().empty());
}

TEST(Connect, AKr310ShowsAllSixInputs) {
    PtyTrackerOptions options;
    options.device.firmware = sim::kKr310Firmware;
    Bench bench(options);
    ASSERT_TRUE(bench.Connect());
    EXPECT_EQ(bench.form.Text("Firmware"), "QV-KR310-V1.4.2");
    EXPECT_TRUE(bench.form.Visible("In5Mode"));
    EXPECT_TRUE(bench.form.Visible("In6Mode"));
}

TEST(Connect, AWrongAuthorizationCodeIsReported) {
    PtyTrackerOptions options;
    options.device.authCode = 1234;
    Bench bench(options);
    ASSERT_TRUE(bench.Connect());  // the device information comes all the same
    EXPECT_EQ(bench.ui.Notices(), std::vector<std::string>{"Auth Code Error!"});
    EXPECT_EQ(bench.form.Text("IMEI"), "860123456789012");

    bench.ui.ClearLog();
    bench.window.Guard([&] { bench.window.OpenPortClick(); });
    bench.form.SetText("AuthCode", "1234");
    ASSERT_TRUE(bench.Connect());
    EXPECT_TRUE(bench.ui.Notices().empty());
}

TEST(Connect, ThePollKeepsAskingUntilTheTrackerAnswers) {
    Bench bench;
    bench.tracker.InjectFault(Fault::NoAnswer, 2, CmdConnect);
    bench.form.SetText("ComboBox1", bench.tracker.SlavePath());
    bench.window.Guard([&] { bench.window.OpenPortClick(); });
    ASSERT_TRUE(bench.window.PortOpen());
    for (int poll = 1; poll <= 2; ++poll) {
        bench.TickTimer1(kConnectPollReload);
        ASSERT_EQ(bench.WaitForRequests(static_cast<std::size_t>(poll)).size(), static_cast<std::size_t>(poll));
        EXPECT_EQ(bench.ui.StatusText(0), "Disconnect");
    }
    ASSERT_TRUE(bench.Reconnect());
    EXPECT_EQ(bench.form.Text("DeviceID"), "860123456789012");
}

TEST(Connect, ReopeningThePortConnectsAgain) {
    Bench bench;
    ASSERT_TRUE(bench.Connect());
    bench.window.Guard([&] { bench.window.OpenPortClick(); });
    EXPECT_EQ(bench.ui.StatusText(0), "Disconnect");
    bench.form.SetText("DeviceID", "");
    ASSERT_TRUE(bench.Connect());
    EXPECT_EQ(bench.form.Text("DeviceID"), "860123456789012");
}

}  // namespace
}  // namespace quorvane::integration
