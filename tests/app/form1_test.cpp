// The window's logic headless: a MemoryForm, a recording Ui, and a real port on a
// pseudo-terminal whose master side the test reads and writes. Timers are ticked by
// hand; the mailbox is drained by the test.
#include "app/form1.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/memory_form.h"
#include "model/window_model.h"
#include "blocks/convert.h"
#include "link/engine.h"
#include "link/frame.h"
#include "serial/comm.h"
#include "settings/settings_file.h"
#include "tests/support/recording_ui.h"

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;
using test_support::RecordingUi;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kDeadline{3000};

class Pty {
public:
    Pty() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed";
            return;
        }
        termios raw{};
        ::tcgetattr(slave_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
        path_ = name;
    }
    ~Pty() {
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    const std::string& Path() const { return path_; }

    void Write(const Bytes& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What the port sent, until `count` bytes or the deadline.
    Bytes Read(std::size_t count) const {
        Bytes out;
        const auto end = Clock::now() + kDeadline;
        while (out.size() < count && Clock::now() < end) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0) continue;
            std::uint8_t chunk[512];
            const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - out.size()));
            if (n <= 0) break;
            out.insert(out.end(), chunk, chunk + n);
        }
        return out;
    }
    // True when the port has sent bytes not read yet; waits at most `ms` for them.
    bool HasData(int ms) const {
        pollfd fd{master_, POLLIN, 0};
        return ::poll(&fd, 1, ms) > 0 && (fd.revents & POLLIN);
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

class Form1Test : public ::testing::Test {
protected:
    Form1Test() : dir_(MakeDir()), window(form, ui, mailbox, dir_) {
        window.Watch().SetPortSource(std::make_shared<FunctionPortSource>([this] { return BarePorts(ports); }));
    }
    ~Form1Test() override { std::filesystem::remove_all(dir_); }

    static std::string MakeDir() {
        char pattern[] = "/tmp/quorvane_form1_XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return made ? std::string(made) + "/" : std::string("/tmp/");
    }

    void OpenOnPty() {
        form.SetText("ComboBox1", pty.Path());
        window.OpenPortClick();
        ASSERT_TRUE(window.PortOpen());
    }
    void Tick1(int times) {
        for (int i = 0; i < times; ++i) window.Guard([this] { window.Timer1Timer(); });
    }
    // Runs posted notifications until `done` holds or the deadline passes.
    template <typename Done>
    bool DrainUntil(Done done) {
        const auto end = Clock::now() + kDeadline;
        while (!done()) {
            if (Clock::now() >= end) return false;
            mailbox.WaitFor(std::chrono::milliseconds(20));
            mailbox.Drain();
        }
        return true;
    }
    std::vector<bool> LinkButtonStates() const {
        std::vector<bool> states;
        for (const std::string& name : LinkButtons()) states.push_back(form.Enabled(name));
        return states;
    }

    std::string dir_;
    std::vector<std::string> ports;
    MemoryForm form;
    RecordingUi ui;
    QueueMailbox mailbox;
    Pty pty;
    TForm1 window;
};

Bytes ConnectFrame(Bytes payload) { return MakeFrame(CmdConnect, payload); }

TEST_F(Form1Test, FormCreateSetsTheStartState) {
    ports = {"ttyS0", "ttyUSB0"};
    window.FormCreate();
    EXPECT_EQ(LinkButtons().size(), 21u);
    EXPECT_EQ(LinkButtonStates(), std::vector<bool>(21, false));
    for (const char* name : {"ClearGPRS1", "ClearGPRS2", "ClearSMS", "ClearGPSLog", "SetMileage"})
        EXPECT_TRUE(form.Enabled(name)) << name;
    for (const std::string& name : DisabledAtCreate()) EXPECT_FALSE(form.Enabled(name)) << name;
    EXPECT_EQ(ui.StatusText(0), "Disconnect");
    EXPECT_EQ(ui.StatusText(1), "Idle");
    EXPECT_EQ(ui.windowCaption, "Quorvane_Parameter_Editor_V1.6");
    EXPECT_EQ(form.Text("ComboBox1"), "ttyS0");
    EXPECT_THAT(form.Items("ComboBox1"), ElementsAre("ttyS0", "ttyUSB0"));
    EXPECT_FALSE(window.SettingsLoaded());
    EXPECT_FALSE(window.PortOpen());

    ports.clear();
    window.ComboBox1DropDown();
    EXPECT_TRUE(form.Items("ComboBox1").empty());
    EXPECT_EQ(form.Text("ComboBox1"), "ttyS0") << "the shown text stays";
    ports = {"ttyACM0"};
    window.ComboBox1DropDown();
    EXPECT_THAT(form.Items("ComboBox1"), ElementsAre("ttyACM0"));
}

TEST_F(Form1Test, FormCreateLoadsTheStartUpSettingsFile) {
    MemoryForm saved;
    saved.SetText("APN", "internet.example");
    SaveSettingsFile(saved, dir_ + "Quorvane_Tracker.ini");
    window.FormCreate();
    EXPECT_EQ(form.Text("APN"), "internet.example");
    EXPECT_TRUE(window.SettingsLoaded());
}

TEST_F(Form1Test, TheStartUpFileIsLookedForInTheUsersFolderNext) {
    const std::string user = dir_ + "user/";
    std::filesystem::create_directory(user);
    MemoryForm saved;
    saved.SetText("APN", "from.the.user");
    SaveSettingsFile(saved, user + "Quorvane_Tracker.ini");
    window.SetUserConfigDir(user);
    window.FormCreate();
    EXPECT_EQ(form.Text("APN"), "from.the.user");
    EXPECT_TRUE(window.SettingsLoaded());

    // The program's folder comes first.
    saved.SetText("APN", "beside.the.program");
    SaveSettingsFile(saved, dir_ + "Quorvane_Tracker.ini");
    window.FormCreate();
    EXPECT_EQ(form.Text("APN"), "beside.the.program");

    // Save Settings proposes the program's folder while it is writable.
    ui.fileAnswers = {std::nullopt};
    window.SavetSettings1Click();
    EXPECT_EQ(ui.Log().back().preset, dir_ + "Quorvane_Tracker.ini");
}

TEST(Form1Install, SaveProposesTheUsersFolderWhenTheProgramsIsNotWritable) {
    MemoryForm form;
    RecordingUi ui;
    QueueMailbox mailbox;
    // No one, root included, can make a file there.
    TForm1 window(form, ui, mailbox, "/proc/");
    window.Watch().SetPortSource(std::make_shared<FunctionPortSource>([] { return std::vector<PortInfo>{}; }));
    char pattern[] = "/tmp/quorvane_install_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string user = std::string(pattern) + "/config/quorvane-editor/";
    window.SetUserConfigDir(user);
    window.FormCreate();
    EXPECT_FALSE(window.SettingsLoaded());

    ui.fileAnswers = {user + "Quorvane_Tracker.ini"};
    window.Guard([&] { window.SavetSettings1Click(); });
    EXPECT_EQ(ui.Log().back().preset, user + "Quorvane_Tracker.ini");
    EXPECT_TRUE(ui.Errors().empty()) << "the proposed folder was made, so the save went through";
    EXPECT_TRUE(std::filesystem::exists(user + "Quorvane_Tracker.ini"));

    // The next start finds it there.
    MemoryForm next;
    TForm1 again(next, ui, mailbox, "/proc/");
    again.Watch().SetPortSource(std::make_shared<FunctionPortSource>([] { return std::vector<PortInfo>{}; }));
    again.SetUserConfigDir(user);
    again.FormCreate();
    EXPECT_TRUE(again.SettingsLoaded());
    std::filesystem::remove_all(pattern);
}

TEST_F(Form1Test, NoPortShowsNoneAndOpeningItFails) {
    window.FormCreate();
    EXPECT_EQ(form.Text("ComboBox1"), "None");
    EXPECT_TRUE(form.Items("ComboBox1").empty());

    EXPECT_THROW(window.OpenPortClick(), ECommsError);
    window.Guard([this] { window.OpenPortClick(); });
    // The described text first; why the system refused on the next line.
    EXPECT_THAT(ui.Errors(), ElementsAre("Error opening serial port\nNo such device: /dev/None does not exist "
                                         "(the adapter may be unplugged, or it appeared under another name)."));
    EXPECT_FALSE(window.PortOpen());
    EXPECT_EQ(form.Caption("OpenPort"), "Open");
    EXPECT_EQ(LinkButtonStates(), std::vector<bool>(21, false));
    EXPECT_EQ(window.ConnectPollCount(), 0);
}

TEST_F(Form1Test, ConnectRequestGoesOutFiftyTicksAfterOpeningThenEveryFifty) {
    window.FormCreate();
    OpenOnPty();
    EXPECT_EQ(form.Caption("OpenPort"), "Close");
    EXPECT_EQ(LinkButtonStates(), std::vector<bool>(21, true));
    EXPECT_EQ(window.ConnectPollCount(), 50);
    EXPECT_EQ(ui.StatusText(0), "Disconnect");

    const Bytes frame = ConnectFrame({0x01, 0xFF, 0xFF, 0xFF, 0xFF});
    for (int round = 0; round < 3; ++round) {
        Tick1(49);
        EXPECT_EQ(window.ConnectPollCount(), 1);
        Tick1(1);
        EXPECT_EQ(window.ConnectPollCount(), 50) << "re-armed after the send";
        EXPECT_EQ(pty.Read(frame.size()), frame) << "round " << round;
    }
    EXPECT_FALSE(pty.HasData(100)) << "exactly one request per fifty ticks";
    EXPECT_EQ(ui.StatusText(0), "Disconnect");
    EXPECT_TRUE(ui.Errors().empty());
}

TEST_F(Form1Test, ConnectRequestCarriesTheAuthCode) {
    window.FormCreate();
    OpenOnPty();
    const struct {
        const char* text;
        Bytes payload;
    } cases[] = {
        {"", {0x01, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"0", {0x01, 0x00, 0x00, 0x00, 0x00}},
        {"1234", {0x01, 0xD2, 0x04, 0x00, 0x00}},
        {"-1", {0x01, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        form.SetText("AuthCode", c.text);
        Tick1(50);
        EXPECT_EQ(pty.Read(12), ConnectFrame(c.payload)) << "AuthCode '" << c.text << "'";
    }
    EXPECT_EQ(ConnectFrame({0x01, 0xFF, 0xFF, 0xFF, 0xFF}),
              (Bytes{0x5A, 0xA5, 0x00, 0x06, 0x50, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x1E, 0xD9}));
}

TEST_F(Form1Test, AuthCodeThatIsNoNumberStopsThePollUntilReopened) {
    window.FormCreate();
    OpenOnPty();
    form.SetText("AuthCode", "12ab");
    Tick1(50);
    EXPECT_THAT(ui.Errors(), ElementsAre("'12ab' is not a valid integer value"));
    EXPECT_EQ(window.ConnectPollCount(), 0);
    Tick1(200);
    EXPECT_EQ(ui.Errors().size(), 1u);
    EXPECT_FALSE(pty.HasData(100));

    form.SetText("AuthCode", "7");
    window.OpenPortClick();
    window.OpenPortClick();
    EXPECT_EQ(window.ConnectPollCount(), 50);
    Tick1(50);
    EXPECT_EQ(pty.Read(12), ConnectFrame({0x01, 0x07, 0x00, 0x00, 0x00}));
}

TEST_F(Form1Test, ConversionErrorsNameTheirBox) {
    window.FormCreate();
    form.SetText("StopInterval", "abc");
    window.Guard([this] { window.Click("GPRSWriteClick"); });
    EXPECT_THAT(ui.Errors(), ElementsAre("'abc' is not a valid integer value"));
    ASSERT_EQ(ui.errorPlaces.size(), 1u);
    EXPECT_EQ(ui.errorPlaces[0].control, "StopInterval");
    EXPECT_EQ(ui.errorPlaces[0].tab, "GPRS");
    EXPECT_EQ(ui.errorPlaces[0].label, "Stop Interval");
    EXPECT_TRUE(ui.errorPlaces[0].visible);

    // A hidden box is named but cannot take the focus; a table box names its row.
    form.SetText("StopInterval", "0");
    form.SetText("RoamingInterval", "");
    form.SetText("Temp5_High", "x");
    window.Guard([this] { window.Click("GPRSWriteClick"); });
    window.Guard([this] { window.Click("Temp_WriteClick"); });
    form.SetText("IN2ActiveTM", "");
    window.Guard([this] { window.Click("InterfaceWriteClick"); });
    ASSERT_EQ(ui.errorPlaces.size(), 4u);
    EXPECT_EQ(ui.errorPlaces[1].control, "RoamingInterval");
    EXPECT_FALSE(ui.errorPlaces[1].visible);
    EXPECT_EQ(ui.errorPlaces[2].label, "Index 5 High Alarm(*C)");
    EXPECT_EQ(ui.errorPlaces[2].tab, "Temp");
    EXPECT_EQ(ui.errorPlaces[3].label, "Input2 Active Time");
    EXPECT_EQ(ui.errorPlaces[3].tab, "Interface");

    // The connect request's code and the mileage are boxes too.
    form.SetText("Mileage", "1.5");
    window.Guard([this] { window.Click("SetMileageClick"); });
    ASSERT_EQ(ui.errorPlaces.size(), 5u);
    EXPECT_EQ(ui.errorPlaces[4].control, "Mileage");
    EXPECT_EQ(ui.errorPlaces[4].tab, "Info");
}

// Each kind of field refuses a value it cannot hold, wherever its block comes in the
// Write All chain, and nothing goes out on the line.
TEST_F(Form1Test, WriteAllWithAValueThatDoesNotFitSendsNothing) {
    window.FormCreate();
    OpenOnPty();
    const std::pair<std::string, std::string> kCases[] = {
        {"Speed", "70000"},          {"Heading", "300"},
        {"No1Radius", "-1"},         {"LowExtBatAlarm", "11.456"},
        {"Temp1_High", "3276.8"},    {"SMSTimeZone", "-35791395"},
        {"APN", std::string(33, 'a')}, {"LowSpeedName", "seventeen chars!!"},
    };
    for (const auto& [control, value] : kCases) {
        const std::string before = form.Text(control);
        form.SetText(control, value);
        window.Guard([this] { window.Click("WriteAllClick"); });
        ASSERT_FALSE(ui.Errors().empty()) << control;
        EXPECT_EQ(ui.Errors().back().rfind("'" + value + "' ", 0), 0U) << ui.Errors().back();
        EXPECT_NE(ui.Errors().back().find(" " + control + " ("), std::string::npos) << ui.Errors().back();
        ASSERT_FALSE(ui.errorPlaces.empty());
        EXPECT_EQ(ui.errorPlaces.back().control, control);
        form.SetText(control, before);
    }
    EXPECT_EQ(ui.Errors().size(), std::size(kCases));
    EXPECT_FALSE(pty.HasData(200)) << "a refused write sends nothing";
    EXPECT_EQ(window.Engine().State().OperationState, OperationState::OpIdle);

    window.Guard([this] { window.Click("WriteAllClick"); });
    EXPECT_EQ(ui.Errors().size(), std::size(kCases));
    EXPECT_TRUE(pty.HasData(2000)) << "the same window with fitting values is written";
}

TEST_F(Form1Test, ClosingResetsTheWindowAndStopsThePoll) {
    window.FormCreate();
    OpenOnPty();
    Tick1(20);
    window.Engine().GPRSReadClick();
    ASSERT_EQ(pty.Read(12).size(), 12u);
    window.OpenPortClick();
    EXPECT_FALSE(window.PortOpen());
    EXPECT_EQ(form.Caption("OpenPort"), "Open");
    EXPECT_EQ(LinkButtonStates(), std::vector<bool>(21, false));
    EXPECT_EQ(ui.StatusText(0), "Disconnect");
    EXPECT_EQ(ui.StatusText(1), "Idle");
    EXPECT_EQ(window.ConnectPollCount(), 0);
    for (const char* name : {"ClearGPRS1", "ClearGPRS2", "ClearSMS", "ClearGPSLog", "SetMileage"})
        EXPECT_TRUE(form.Enabled(name)) << name;
    Tick1(100);
    EXPECT_FALSE(pty.HasData(100));

    // The read awaited when the port closed still runs into its time-out.
    EXPECT_EQ(window.Engine().State().OperationState, OperationState::OpRead);
    for (int i = 0; i < kReplyTimeout; ++i) window.Timer2Timer();
    EXPECT_EQ(ui.StatusText(1), "Read Error");
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Overtime!"));

    OpenOnPty();
    EXPECT_EQ(window.ConnectPollCount(), 50) << "the poll starts from 50 again";
}

TEST_F(Form1Test, TrackerAnswerOverThePortConnects) {
    window.FormCreate();
    OpenOnPty();
    Tick1(50);
    ASSERT_EQ(pty.Read(12).size(), 12u);

    Bytes payload = {0x01, 0x01, 0x00, 0x00, 0x00};
    for (char c : std::string("QV200,860000000000001,SN9,")) payload.push_back(static_cast<std::uint8_t>(c));
    payload.insert(payload.end(), 33, 0x00);
    payload.insert(payload.end(), {0x00, 0x01, 0xE2, 0x40});
    const Bytes answer = MakeFrame(CmdConnect, payload);
    // Cut in two, as a slow line may deliver it.
    pty.Write(Bytes(answer.begin(), answer.begin() + 9));
    ASSERT_TRUE(DrainUntil([this] { return !window.Engine().Receiver().Pending().empty(); }));
    pty.Write(Bytes(answer.begin() + 9, answer.end()));
    ASSERT_TRUE(DrainUntil([this] { return ui.StatusText(0) == "Connected"; }));

    EXPECT_EQ(form.Text("Firmware"), "QV200");
    EXPECT_EQ(form.Text("Mileage"), "123456");
    EXPECT_EQ(window.ConnectPollCount(), 0) << "the answer stops the poll";
    EXPECT_EQ(pty.Read(12), MakeFrame(CmdReadBlock, Bytes{0x01, 0x00, 0x10, 0x00, 0x0F}));
    EXPECT_TRUE(window.Engine().State().DeviceIdPending);
}

TEST_F(Form1Test, ClosingDiscardsBytesNotYetActedOn) {
    window.FormCreate();
    OpenOnPty();
    pty.Write(Bytes{0x5A, 0xA5, 0x00, 0x06, 0x50});
    ASSERT_TRUE(DrainUntil([this] { return !window.Engine().Receiver().Pending().empty(); }));
    window.OpenPortClick();
    EXPECT_TRUE(window.Engine().Receiver().Pending().empty());
}

TEST_F(Form1Test, EveryButtonHandlerOfTheWindowRuns) {
    window.FormCreate();  // as it starts: every number box holds a number
    int buttons = 0;
    for (const ControlDef& c : Controls()) {
        if (c.kind != ControlKind::Button || c.handler.empty() || c.handler == "OpenPortClick") continue;
        ++buttons;
        ui.ClearLog();
        window.Guard([&] { EXPECT_TRUE(window.Click(c.handler)) << c.handler; });
        EXPECT_TRUE(ui.Errors().empty()) << c.handler;
        EXPECT_NE(window.Engine().State().TimeoutCount, 0) << c.handler << " started an operation";
    }
    EXPECT_EQ(buttons, 26);
    EXPECT_FALSE(window.Click("ComboBox1DropDown"));
    EXPECT_FALSE(window.Click("NoSuchClick"));

    window.Guard([this] { EXPECT_TRUE(window.Click("OpenPortClick")); });
    EXPECT_THAT(ui.Errors(), ElementsAre(::testing::StartsWith("Error opening serial port\n")));
}

TEST_F(Form1Test, MenuWheelAndWebsite) {
    window.FormCreate();
    window.VisitWebsite1Click();
    bool handled = false;
    for (int delta : {-120, 120, 0}) window.FormMouseWheel(delta, handled);
    EXPECT_FALSE(handled);
    std::vector<int> lines;
    std::vector<std::string> urls;
    for (const auto& e : ui.Log()) {
        if (e.kind == RecordingUi::Kind::Scroll) lines.push_back(e.lines);
        if (e.kind == RecordingUi::Kind::Url) urls.push_back(e.text);
    }
    EXPECT_THAT(lines, ElementsAre(1, -1, -1));
    EXPECT_THAT(urls, ElementsAre(TForm1::kWebsite));

    window.Exit1Click();  // port closed: no error
    EXPECT_TRUE(ui.closed);
    EXPECT_TRUE(ui.Errors().empty());
}

TEST_F(Form1Test, SettingsMenuGoesThroughTheDialogs) {
    window.FormCreate();
    const std::string path = dir_ + "profile.ini";
    form.SetText("APN", "apn.one");
    ui.fileAnswers = {path, std::nullopt};
    window.SavetSettings1Click();
    window.SavetSettings1Click();  // cancelled
    ASSERT_TRUE(std::filesystem::exists(path));
    const auto& saveDialog = ui.Log()[ui.Log().size() - 1];
    EXPECT_EQ(saveDialog.kind, RecordingUi::Kind::SaveDialog);
    EXPECT_EQ(saveDialog.preset, dir_ + "Quorvane_Tracker.ini");
    EXPECT_EQ(saveDialog.text, "*.ini|*.ini");

    form.SetText("APN", "changed");
    EXPECT_FALSE(window.SettingsLoaded());
    ui.fileAnswers = {std::nullopt, dir_ + "missing.ini", path};
    window.LoadSettings1Click();
    window.LoadSettings1Click();
    EXPECT_EQ(form.Text("APN"), "changed");
    EXPECT_FALSE(window.SettingsLoaded()) << "a missing file loads nothing";
    window.LoadSettings1Click();
    EXPECT_EQ(form.Text("APN"), "apn.one");
    EXPECT_TRUE(window.SettingsLoaded());

    const std::string unwritable = dir_ + "no/such/folder/x.ini";
    ui.fileAnswers = {unwritable};
    window.Guard([this] { window.SavetSettings1Click(); });
    // The described text, and why on a line of its own.
    EXPECT_THAT(ui.Errors(), ElementsAre("Unable to write to " + unwritable + "\nthe file or its folder does not exist"));
}

}  // namespace
}  // namespace quorvane
