#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <map>
#include <set>

#include "model/memory_form.h"
#include "model/window_model.h"
#include "settings/profile_file.h"
#include "tests/settings/temp_dir.h"

namespace quorvane {
namespace {

using namespace std::string_literals;

const SettingsKey& KeyFor(std::string_view key) {
    for (const SettingsKey& k : SettingsKeys())
        if (k.key == key) return k;
    throw std::out_of_range(std::string(key));
}

// The event keys whose names start with `stem` followed by a blank.
std::vector<std::pair<std::string, std::string>> EventKeys(const std::string& stem) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const SettingsKey& k : SettingsKeys())
        if (k.section == "Event" && k.key.rfind(stem + " ", 0) == 0) out.emplace_back(k.key, k.control);
    return out;
}

// Every data control's value and shown text, to compare whole windows.
std::map<std::string, std::string> Snapshot(const MemoryForm& form) {
    std::map<std::string, std::string> out;
    for (const ControlDef& c : Controls()) {
        switch (c.kind) {
            case ControlKind::Edit:
            case ControlKind::Memo: out[c.name] = form.Text(c.name); break;
            case ControlKind::CheckBox: out[c.name] = form.Checked(c.name) ? "checked" : "clear"; break;
            case ControlKind::ComboBox:
                out[c.name] = std::to_string(form.ItemIndex(c.name)) + "|" + form.Text(c.name);
                break;
            default: break;
        }
    }
    return out;
}

// The values of the stored controls, as they would be written.
std::vector<std::string> StoredValues(const Form& form) {
    std::vector<std::string> out;
    for (const SettingsKey& k : SettingsKeys()) {
        switch (k.form) {
            case ValueForm::Text: out.push_back(form.Text(k.control)); break;
            case ValueForm::Index: out.push_back(std::to_string(form.ItemIndex(k.control))); break;
            case ValueForm::Flag: out.emplace_back(form.Checked(k.control) ? "1" : "0"); break;
        }
    }
    return out;
}

std::vector<std::string> SplitCrLf(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(pos));
            break;
        }
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

TEST(SettingsKeys, CoverEveryStoredControlOfTheSixTabs) {
    const std::map<std::string, std::size_t> expected{{"GPRS", 23}, {"Main", 23}, {"Interface", 42},
                                                      {"Auth", 21}, {"GEO", 48},  {"Event", 605}};
    std::map<std::string, std::size_t> counts;
    std::vector<std::string> order;
    for (const SettingsKey& k : SettingsKeys()) {
        if (order.empty() || order.back() != k.section) order.push_back(k.section);
        ++counts[k.section];
    }
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(order, SettingsSections());
    EXPECT_EQ(order, (std::vector<std::string>{"GPRS", "Main", "Interface", "Auth", "GEO", "Event"}));

    // Each key names a control of the matching kind, and no key is spelled twice.
    std::set<std::string> keys;
    std::set<std::string> controls;
    for (const SettingsKey& k : SettingsKeys()) {
        const ControlDef* c = FindControl(k.control);
        ASSERT_NE(c, nullptr) << k.key;
        const ControlKind kind = k.form == ValueForm::Text    ? ControlKind::Edit
                                 : k.form == ValueForm::Index ? ControlKind::ComboBox
                                                              : ControlKind::CheckBox;
        EXPECT_EQ(c->kind, kind) << k.key;
        std::string folded = k.section + "/" + k.key;
        std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char ch) { return std::tolower(ch); });
        EXPECT_TRUE(keys.insert(folded).second) << k.key;
        controls.insert(k.control);
    }

    // Every data control of those tabs is stored, except these four.
    const std::set<std::string> notStored{"DeviceID", "IN4Moni1", "FuelLowSMS3", "FuelLowMoni3"};
    for (const char* tab : {"TabSheet2", "TabSheet3", "TabSheet8", "TabSheet5", "TabSheet4", "TabSheet6"})
        for (const ControlDef* c : DataControls(tab))
            EXPECT_EQ(controls.count(c->name), notStored.count(c->name) ? 0U : 1U) << c->name;
    EXPECT_EQ(controls.size(), keys.size() - 2);  // FuelLowSMS2 and FuelLowMoni2 have two keys each
}

// Files in the field hold these names: each key letter for letter, in order, with its control.
TEST(SettingsKeys, FixedSectionsAsFilesHoldThem) {
    std::map<std::string, std::string> keys;
    for (const SettingsKey& k : SettingsKeys())
        if (k.section != "Event") keys[k.section] += k.key + "=" + k.control + "|";
    EXPECT_EQ(keys["GPRS"],
              "APN=APN|APN Name=APNName|APN Password=APNPassword|GPRS1 IP=IP|GPRS1 Port=Port|GPRS1 IP2=IP2|"
              "GPRS1 Port2=Port2|GPRS1 GPRS Mode=GPRSType|GPRS1 Report Mode=ReportType|"
              "GPRS1 Buffer Mode=BufferMode|GPRS1 Time Interval=TimeInterval|GPRS1 ACC Off Interval=ACCOffInterval|"
              "GPRS1 Stop Interval=StopInterval|GPRS1 Roaming Interval=RoamingInterval|GPRS2 IP=IP3|"
              "GPRS2 Port=Port3|GPRS2 GPRS Mode=GPRSType2|GPRS2 Report Mode=ReportType2|"
              "GPRS2 Buffer Mode=BufferMode2|GPRS2 Time Interval=TimeInterval2|"
              "GPRS2 ACC Off Interval=ACCOffInterval2|GPRS2 Stop Interval=StopInterval2|"
              "GPRS2 Roaming Interval=RoamingInterval2|");
    EXPECT_EQ(keys["Main"],
              "GPS Log Interval=GPSLogTM|Distance Interval=DistanceInterval|Heading Change=Heading|"
              "Heartbeat Interval=HeartBeatTM|Speeding=Speed|Sleep Mode=SleepMode|"
              "Period Time Enter Sleep=PowerSavingTM|Vibration Sensitivity=SensorSen|Tow Time=TowTM|"
              "Tow Mode=TowMode|Idle Time=IdleTM|Low Ext-Bat=LowExtBatAlarm|Harsh Accelerate=Acceleration|"
              "Harsh Braking=Deceleration|Harsh Turning=HarshTurn|Impact Sensitivity=Impact|"
              "Fatigue Driving=FatigueTM|Fatigue Relieve=RestTM|Overtime Driving=TotalTM|GSM Jammed=GSMJammed|"
              "Car Type=Car_Type|Low Speed=LowSpeed|Low Battery Alarm=BatteryLowVolt|");
    EXPECT_EQ(keys["Interface"],
              "Input1=In1Mode|Input1 Active Time=IN1ActiveTM|Input2=In2Mode|Input2 Active Time=IN2ActiveTM|"
              "Input3=In3Mode|Input3 Active Time=IN3ActiveTM|Input4=In4Mode|Input4 Active Time=IN4ActiveTM|"
              "Input5=In5Mode|Input5 Active Time=IN5ActiveTM|Input6=In6Mode|Input6 Active Time=IN6ActiveTM|"
              "Tank1 Name=Tank1Name|Tank1 Sensor Type=Tank1Type|Tank1 Source=Tank1Source|"
              "Tank1 Lenght=Tank1Lenght|Tank1 Wide=Tank1Wide|Tank1 High=Tank1High|Tank1 Steal=Tank1Steal|"
              "Tank1 Steal Time=Tank1StealTM|Tank1 Low Fuel=Tank1Low|"
              "Tank2 Name=Tank2Name|Tank2 Sensor Type=Tank2Type|Tank2 Source=Tank2Source|"
              "Tank2 Lenght=Tank2Lenght|Tank2 Wide=Tank2Wide|Tank2 High=Tank2High|Tank2 Steal=Tank2Steal|"
              "Tank2 Steal Time=Tank2StealTM|Tank2 Low Fuel=Tank2Low|"
              "Out1 Mode=Out1Mode|Out1 Active Time=Out1TM|Out1 On Time=Out1OnTM|Out1 Off Time=Out1OffTM|"
              "Out1 Speed=Out1Speed|Out2 Mode=Out2Mode|Out2 Active Time=Out2TM|Out2 On Time=Out2OnTM|"
              "Out2 Off Time=Out2OffTM|Out2 Speed=Out2Speed|RS232-1=RS232_1|RS232-2=RS232_2|");
    EXPECT_EQ(keys["Auth"],
              "SIM Card PIN=SIMPIN|SMS Password=Password|SMS Time Zone=SMSTimeZone|Time Interval=SMSTimeInterval|"
              "ACC Off Interval=SMSACCOffInterval|Stop Interval=SMSStopInterval|"
              "Auth1 Number=Auth1|Auth1 Auto Answer=Auth1Answer|Auth1 Auto Monitor=Auth1Monitor|"
              "Auth1 Auto Hangup=Auth1Hangup|Auth1 SMS Position=Auth1Position|"
              "Auth2 Number=Auth2|Auth2 Auto Answer=Auth2Answer|Auth2 Auto Monitor=Auth2Monitor|"
              "Auth2 Auto Hangup=Auth2Hangup|Auth2 SMS Position=Auth2Position|"
              "Auth3 Number=Auth3|Auth3 Auto Answer=Auth3Answer|Auth3 Auto Monitor=Auth3Monitor|"
              "Auth3 Auto Hangup=Auth3Hangup|Auth3 SMS Position=Auth3Position|");
    std::string geo;
    for (const std::string n : {"1", "2", "3", "4", "5", "6", "7", "8"})
        geo += "No." + n + " Name=No" + n + "Name|No." + n + " Out Alarm=No" + n + "Out|No." + n + " In Alarm=No" +
               n + "In|No." + n + " Radius=No" + n + "Radius|No." + n + " Latitude=No" + n + "Lat|No." + n +
               " Longitude=No" + n + "Long|";
    EXPECT_EQ(keys["GEO"], geo);
}

TEST(SettingsKeys, EventKeysFollowTheCatalogue) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(EventKeys("Ext-power low"), (Pairs{{"Ext-power low Name", "ExtPowerLowName"},
                                                 {"Ext-power low GPRS1", "ExtLowGPRS1"},
                                                 {"Ext-power low GPRS2", "ExtLowGPRS2"},
                                                 {"Ext-power low SMS1", "ExtLowSMS1"},
                                                 {"Ext-power low SMS2", "ExtLowSMS2"},
                                                 {"Ext-power low SMS3", "ExtLowSMS3"}}));
    EXPECT_EQ(EventKeys("Heartbeat report"),
              (Pairs{{"Heartbeat report GPRS1", "HeartGPRS1"}, {"Heartbeat report GPRS2", "HeartGPRS2"}}));
    EXPECT_EQ(EventKeys("Interval"), (Pairs{{"Interval tracking Name", "IntervalName"},
                                            {"Interval GPRS1", "IntervalGPRS1"},
                                            {"Interval GPRS2", "IntervalGPRS2"},
                                            {"Interval SMS1", "IntervalSMS1"},
                                            {"Interval SMS2", "IntervalSMS2"},
                                            {"Interval SMS3", "IntervalSMS3"}}));
    EXPECT_EQ(KeyFor("Speeding alarm Call2").control, "SpeedCall2");
    EXPECT_EQ(KeyFor("Tow alarm Out1").control, "TowOUT1");

    std::vector<std::string> tow;
    for (const auto& [key, control] : EventKeys("Tow alarm")) tow.push_back(key.substr(10));
    EXPECT_EQ(tow, (std::vector<std::string>{"Name", "GPRS1", "GPRS2", "SMS1", "Call1", "Moni1", "SMS2", "Call2",
                                             "Moni2", "SMS3", "Call3", "Moni3", "Out1", "Out2"}));

    const Pairs input4 = EventKeys("Input4 active");
    ASSERT_EQ(input4.size(), 13U);  // the name and 12 flags
    EXPECT_EQ(input4[5], (std::pair<std::string, std::string>{"Input4 active Moni1", "IN4SMS2"}));
    EXPECT_EQ(input4[6].first, "Input4 active Call2");

    const Pairs fuel = EventKeys("Low fuel alarm");
    ASSERT_EQ(fuel.size(), 14U);
    EXPECT_EQ(fuel[6], (std::pair<std::string, std::string>{"Low fuel alarm SMS2", "FuelLowSMS2"}));
    EXPECT_EQ(fuel[8], (std::pair<std::string, std::string>{"Low fuel alarm Moni2", "FuelLowMoni2"}));
    EXPECT_EQ(fuel[9], (std::pair<std::string, std::string>{"Low fuel alarm SMS3", "FuelLowSMS2"}));
    EXPECT_EQ(fuel[11], (std::pair<std::string, std::string>{"Low fuel alarm Moni3", "FuelLowMoni2"}));
}

TEST(SettingsValues, IntegersAreDecimalOrHex) {
    EXPECT_EQ(ParseSettingsInteger("12"), 12);
    EXPECT_EQ(ParseSettingsInteger("-1"), -1);
    EXPECT_EQ(ParseSettingsInteger("+7"), 7);
    EXPECT_EQ(ParseSettingsInteger("0x02"), 2);
    EXPECT_EQ(ParseSettingsInteger("0XfF"), 255);
    EXPECT_EQ(ParseSettingsInteger("-0x10"), -16);
    EXPECT_EQ(ParseSettingsInteger("99999999999999999999999"), LLONG_MAX);
    EXPECT_EQ(ParseSettingsInteger("-99999999999999999999999"), LLONG_MIN);
    EXPECT_EQ(ParseSettingsInteger("-9223372036854775808"), LLONG_MIN);
    for (const char* bad : {"", "abc", "yes", "0x", "1.5", "12a", "0x1g", "--1", "-", " 1"})
        EXPECT_EQ(ParseSettingsInteger(bad), std::nullopt) << bad;
}

class SettingsFileTest : public ::testing::Test {
protected:
    // Loads `bytes` as a settings file into `form`.
    void LoadBytes(const std::string& bytes) {
        WriteBytes(path, bytes);
        ASSERT_TRUE(LoadSettingsFile(form, path));
    }

    TempDir dir;
    std::string path = dir.File("Quorvane_Tracker.ini");
    MemoryForm form;
};

TEST_F(SettingsFileTest, NewFileHoldsEveryKeyInOrderWithCrLf) {
    SaveSettingsFile(form, path);
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), std::count(bytes.begin(), bytes.end(), '\r'));

    std::vector<std::pair<std::string, std::string>> written;  // section, key
    std::string section;
    for (const std::string& line : SplitCrLf(bytes)) {
        if (line.empty()) continue;
        if (line.front() == '[') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        written.emplace_back(section, line.substr(0, line.find('=')));
    }
    std::vector<std::pair<std::string, std::string>> expected;
    for (const SettingsKey& k : SettingsKeys()) expected.emplace_back(k.section, k.key);
    EXPECT_EQ(written, expected);

    // The start state.
    const ProfileFile file(bytes);
    EXPECT_EQ(file.Get("GPRS", "GPRS1 Buffer Mode"), "-1");
    EXPECT_EQ(file.Get("GPRS", "GPRS1 Roaming Interval"), "0");
    EXPECT_EQ(file.Get("GPRS", "GPRS2 Buffer Mode"), "0");
    EXPECT_EQ(file.Get("Interface", "Input5"), "2");
    EXPECT_EQ(file.Get("Auth", "SMS Password"), "6294");
    EXPECT_EQ(file.Get("Event", "Interval GPRS1"), "1");
    EXPECT_EQ(file.Get("Event", "Reply current SMS3"), "1");
    EXPECT_EQ(file.Get("Event", "Low Speed Out2"), "0");
    EXPECT_NE(bytes.find("\r\nGPRS1 Buffer Mode=-1\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nGPRS1 Roaming Interval=0\r\n"), std::string::npos);
}

TEST_F(SettingsFileTest, SaveThenLoadRestoresEveryStoredControl) {
    // A distinct value for every stored control.
    int n = 0;
    for (const SettingsKey& k : SettingsKeys()) {
        ++n;
        switch (k.form) {
            case ValueForm::Text: form.SetText(k.control, k.control + " value " + std::to_string(n)); break;
            case ValueForm::Index:
                form.SetItemIndex(k.control, n % static_cast<int>(FindControl(k.control)->items.size()));
                break;
            case ValueForm::Flag: form.SetChecked(k.control, n % 3 != 0); break;
        }
    }
    form.SetItemIndex("BufferMode", -1);
    form.SetText("LowFuelName", "A name well beyond sixteen characters");
    const auto saved = Snapshot(form);
    SaveSettingsFile(form, path);

    MemoryForm loaded;
    for (const SettingsKey& k : SettingsKeys()) {  // the opposite of every saved value
        if (k.form == ValueForm::Flag) loaded.SetChecked(k.control, !form.Checked(k.control));
        if (k.form == ValueForm::Index) loaded.SetItemIndex(k.control, form.ItemIndex(k.control) == 0 ? 1 : 0);
    }
    // The controls without a key keep their state through the load.
    for (const char* box : {"IN4Moni1", "FuelLowSMS3", "FuelLowMoni3"}) loaded.SetChecked(box, !form.Checked(box));
    loaded.SetText("DeviceID", "untouched");
    loaded.SetText("Temp1_Name", "untouched");
    auto expected = saved;
    for (const char* box : {"IN4Moni1", "FuelLowSMS3", "FuelLowMoni3"})
        expected[box] = loaded.Checked(box) ? "checked" : "clear";
    expected["DeviceID"] = expected["Temp1_Name"] = "untouched";
    // A combo box without a selection comes back with no selection; its text is not stored.
    expected["BufferMode"] = "-1|";

    ASSERT_TRUE(LoadSettingsFile(loaded, path));
    EXPECT_EQ(Snapshot(loaded), expected);
    EXPECT_EQ(loaded.Text("LowFuelName"), "A name well beyond sixteen characters");
}

TEST_F(SettingsFileTest, UpdatesAnExistingFileInPlace) {
    const std::vector<std::string> before{
        "; Quorvane settings, edited by hand",
        "[Vendor]",
        "Colour=blue",
        "",
        "[GPRS]",
        "apn = old.apn",
        "Custom key=kept",
        "no equals sign",
        "",
        "[Event]",
        "Low Speed Out2=1",
        "",
        "[Trailer]",
        "Last=line",
    };
    std::string bytes;
    for (const std::string& line : before) bytes += line + "\r\n";
    WriteBytes(path, bytes);

    form.SetText("APN", "new.apn");
    form.SetChecked("LowSpeedOUT2", true);
    SaveSettingsFile(form, path);
    const std::vector<std::string> after = SplitCrLf(ReadBytes(path));

    // The foreign lines are all there, in their order, byte for byte; only the APN line changed.
    std::vector<std::string> kept;
    for (const std::string& line : after)
        if (!line.empty() && std::find(before.begin(), before.end(), line) != before.end()) kept.push_back(line);
    std::vector<std::string> unchanged;
    for (const std::string& line : before)
        if (!line.empty() && line != "apn = old.apn") unchanged.push_back(line);
    EXPECT_EQ(kept, unchanged);
    ASSERT_GT(after.size(), 650U);
    EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + 9),
              (std::vector<std::string>{before[0], before[1], before[2], "", "[GPRS]", "apn = new.apn",
                                        "Custom key=kept", "no equals sign", "APN Name="}));
    // New keys go after the section's last non-blank line, before its blank line.
    EXPECT_EQ(after[29], "GPRS2 Roaming Interval=0");
    EXPECT_EQ(after[30], "");
    EXPECT_EQ(after[31], "[Event]");
    EXPECT_EQ(after[32], "Low Speed Out2=1");
    EXPECT_EQ(after[33], "Interval tracking Name=");
    EXPECT_EQ(after[637], "");
    EXPECT_EQ(after[638], "[Trailer]");
    EXPECT_EQ(after[639], "Last=line");
    EXPECT_EQ(after[640], "");
    EXPECT_EQ(after[641], "[Main]");

    const ProfileFile file(ReadBytes(path));
    EXPECT_EQ(file.Get("GPRS", "APN"), "new.apn");
    EXPECT_EQ(file.Get("Event", "Low Speed Out2"), "1");
    EXPECT_EQ(file.Get("Event", "Low Speed Name"), "");

    // Loading it back gives the window that was saved.
    MemoryForm loaded;
    ASSERT_TRUE(LoadSettingsFile(loaded, path));
    EXPECT_EQ(StoredValues(loaded), StoredValues(form));
}

TEST_F(SettingsFileTest, LfFileStaysLf) {
    WriteBytes(path, "[GPRS]\nAPN=a\n");
    SaveSettingsFile(form, path);
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    EXPECT_EQ(bytes.rfind("[GPRS]\nAPN=\nAPN Name=\n", 0), 0U);
}

// Files as other machines and editors leave them, loaded and saved over real files.
TEST_F(SettingsFileTest, EveryLineEndStyleLoadsAndSavesWithoutLoss) {
    for (const char* eol : {"\r\n", "\n", "\r", "\r\r\n", "\n\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(eol)));
        const std::string e = eol;
        const std::string bytes = "[GPRS]" + e + "APN=apn.one" + e + "APN Name=second" + e + "[Event]" + e +
                                  "Low Speed Out2=1\x1A" + e + "; a note" + e;
        form.Reset();
        LoadBytes(bytes);
        EXPECT_EQ(form.Text("APN"), "apn.one");
        EXPECT_EQ(form.Text("APNName"), "second") << "the next key is its own";
        EXPECT_TRUE(form.Checked("LowSpeedOUT2")) << "1^Z checks the box";

        form.SetText("APN", "apn.two");
        SaveSettingsFile(form, path);
        const std::string saved = ReadBytes(path);
        EXPECT_EQ(saved.rfind("[GPRS]" + e + "APN=apn.two" + e + "APN Name=second", 0), 0u) << saved;
        EXPECT_NE(saved.find("; a note"), std::string::npos);
        MemoryForm back;
        ASSERT_TRUE(LoadSettingsFile(back, path));
        EXPECT_EQ(back.Text("APN"), "apn.two");
        EXPECT_TRUE(back.Checked("LowSpeedOUT2"));
    }
}

TEST_F(SettingsFileTest, EncodedFilesKeepTheirEncoding) {
    // UTF-16LE with its mark: "[GPRS]\r\nAPN=caf\u00e9\r\n".
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[GPRS]\r\nAPN=caf\xE9\r\n")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    LoadBytes(utf16);
    EXPECT_EQ(form.Text("APN"), "caf\xE9");
    form.SetText("Password", "12\xFC");
    SaveSettingsFile(form, path);
    std::string saved = ReadBytes(path);
    ASSERT_EQ(saved.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(saved.find(std::string("A\0P\0N\0=\0c\0a\0f\0\xE9\0\r\0\n\0", 20)), 2u + 16u);
    MemoryForm back;
    ASSERT_TRUE(LoadSettingsFile(back, path));
    EXPECT_EQ(back.Text("APN"), "caf\xE9");
    EXPECT_EQ(back.ItemIndex("BufferMode"), 0) << "every key went out, readable";
    EXPECT_EQ(back.Text("Password"), "12\xFC") << "a new key, written as UTF-16LE";

    // UTF-8 with its mark: a character without an 8-bit form reads as "?".
    LoadBytes("\xEF\xBB\xBF[GPRS]\r\nAPN=\xE2\x82\xAC\xC3\xA9\r\n");
    EXPECT_EQ(form.Text("APN"), "?\xE9");
    form.SetText("APN", "\xE9");
    SaveSettingsFile(form, path);
    saved = ReadBytes(path);
    EXPECT_EQ(saved.rfind("\xEF\xBB\xBF[GPRS]\r\nAPN=\xC3\xA9\r\n", 0), 0u);

    // Plain 8-bit stays 8-bit.
    LoadBytes("[GPRS]\r\nAPN=\xE9\r\n");
    SaveSettingsFile(form, path);
    EXPECT_EQ(ReadBytes(path).rfind("[GPRS]\r\nAPN=\xE9\r\n", 0), 0u);
}

TEST_F(SettingsFileTest, ReadsValuesByTheirForm) {
    LoadBytes(
        "[ gprs ]\r\n"
        "GPRS1 GPRS Mode=0x02\r\n"
        "GPRS2 GPRS Mode=abc\r\n"
        "GPRS1 Report Mode=5\r\n"
        "GPRS1 Buffer Mode=-1\r\n"
        "GPRS2 Buffer Mode=0X1\r\n"
        "APN=\"  spaced  \"\r\n"
        "APN Name='quoted'\r\n"
        "gprs1 ip = first \r\n"
        "GPRS1 IP=second\r\n"
        "[event]\r\n"
        "low speed out2=1\r\n"
        "Low Speed Out1=2\r\n"
        "Low Speed Moni3=-1\r\n"
        "Low Speed Call3=yes\r\n"
        "Low Speed SMS3=0\r\n"
        "[GPRS]\r\n"
        "GPRS1 Port=only in the second GPRS section\r\n");
    EXPECT_EQ(form.ItemIndex("GPRSType"), 2);
    EXPECT_EQ(form.ItemIndex("GPRSType2"), 0);
    EXPECT_EQ(form.ItemIndex("ReportType"), -1);
    EXPECT_EQ(form.ItemIndex("BufferMode"), -1);
    EXPECT_EQ(form.ItemIndex("BufferMode2"), 1);
    EXPECT_EQ(form.Text("APN"), "  spaced  ");
    EXPECT_EQ(form.Text("APNName"), "quoted");
    EXPECT_EQ(form.Text("IP"), "first");
    EXPECT_EQ(form.Text("Port"), "");
    EXPECT_TRUE(form.Checked("LowSpeedOUT2"));
    EXPECT_TRUE(form.Checked("LowSpeedOUT1"));
    EXPECT_TRUE(form.Checked("LowSpeedMoni3"));
    EXPECT_FALSE(form.Checked("LowSpeedCall3"));
    EXPECT_FALSE(form.Checked("LowSpeedSMS3"));
}

TEST_F(SettingsFileTest, EventQuirksOfInput4AndLowFuel) {
    form.SetChecked("IN4Moni1", true);
    form.SetChecked("FuelLowSMS3", true);
    form.SetChecked("FuelLowMoni3", true);
    LoadBytes(
        "[Event]\n"
        "Input4 active Moni1=1\n"
        "Input4 active SMS2=0\n"
        "Low fuel alarm SMS2=0\n"
        "Low fuel alarm SMS3=1\n"
        "Low fuel alarm Moni2=1\n"
        "Low fuel alarm Moni3=0\n");
    EXPECT_TRUE(form.Checked("IN4SMS2"));  // the key SMS2 is not read
    EXPECT_TRUE(form.Checked("IN4Moni1"));
    EXPECT_TRUE(form.Checked("FuelLowSMS2"));  // the later key wins
    EXPECT_FALSE(form.Checked("FuelLowMoni2"));
    EXPECT_TRUE(form.Checked("FuelLowSMS3"));
    EXPECT_TRUE(form.Checked("FuelLowMoni3"));

    // Saving writes each of the two boxes under both of its keys.
    form.SetChecked("FuelLowMoni2", true);
    SaveSettingsFile(form, path);
    const ProfileFile file(ReadBytes(path));
    EXPECT_EQ(file.Get("Event", "Low fuel alarm Moni2"), "1");
    EXPECT_EQ(file.Get("Event", "Low fuel alarm Moni3"), "1");
    EXPECT_EQ(file.Get("Event", "Input4 active Moni1"), "1");
}

TEST_F(SettingsFileTest, EmptyFileGivesMissingKeyValues) {
    form.SetText("DeviceID", "kept");
    LoadBytes("");
    for (const SettingsKey& k : SettingsKeys()) {
        switch (k.form) {
            case ValueForm::Text: EXPECT_EQ(form.Text(k.control), "") << k.control; break;
            case ValueForm::Index: EXPECT_EQ(form.ItemIndex(k.control), 0) << k.control; break;
            case ValueForm::Flag: EXPECT_FALSE(form.Checked(k.control)) << k.control; break;
        }
    }
    EXPECT_FALSE(form.Checked("IntervalGPRS1"));
    EXPECT_FALSE(form.Checked("ReplySMS3"));
    EXPECT_EQ(form.Text("DeviceID"), "kept");
}

TEST_F(SettingsFileTest, BadInputNeverBreaksTheLoad) {
    // Binary bytes around readable keys; a BOM; NULs; a megabyte line; no final line end.
    const std::string binary = "\x00\x01\xff\xfe[\x80]=\x00\r\n"s;
    std::string bytes = "\xEF\xBB\xBF[GPRS]\r\nAPN=bom\r\n" + binary;
    bytes += "GPRS1 IP=" + std::string(1 << 20, '1') + "\r\n";
    bytes += std::string(1 << 20, '[') + "\r\n";
    bytes += "[Main]\r\nSpeeding=1\0" "2\r\nTow Mode=1\0"s;
    form.SetItemIndex("TowMode", 1);
    LoadBytes(bytes);
    EXPECT_EQ(form.Text("APN"), "bom");
    EXPECT_EQ(form.Text("IP"), std::string(ProfileFile::kMaxValueLength, '1'));
    EXPECT_EQ(form.Text("APNName"), "");  // not there
    EXPECT_EQ(form.Text("Speed"), "1\0" "2"s);
    EXPECT_EQ(form.ItemIndex("TowMode"), 0);  // "1\0" is not an integer

    // Saving keeps all of it and still reads back.
    SaveSettingsFile(form, path);
    const std::string saved = ReadBytes(path);
    EXPECT_EQ(saved.rfind("\xEF\xBB\xBF[GPRS]\r\nAPN=bom\r\n", 0), 0U);
    EXPECT_NE(saved.find(binary), std::string::npos);
    EXPECT_NE(saved.find(std::string(1 << 20, '[') + "\r\n"), std::string::npos);
    MemoryForm again;
    ASSERT_TRUE(LoadSettingsFile(again, path));
    EXPECT_EQ(StoredValues(again), StoredValues(form));
}

TEST_F(SettingsFileTest, UnwritableTargetRaisesTheErrorAndKeepsTheOldFile) {
    namespace fs = std::filesystem;
    const std::string old = "[GPRS]\r\nAPN=old\r\n";
    WriteBytes(path, old);
    fs::permissions(path, fs::perms::owner_read);
    form.SetText("APN", "new");
    try {
        SaveSettingsFile(form, path);
        ADD_FAILURE() << "no error";
    } catch (const ESettingsFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"Quorvane_Tracker.ini"});

    const std::string nowhere = dir.File("missing folder/settings.ini");
    try {
        SaveSettingsFile(form, nowhere);
        ADD_FAILURE() << "no error";
    } catch (const ESettingsFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + nowhere);
    }
    EXPECT_FALSE(fs::exists(dir.File("missing folder")));
}

TEST_F(SettingsFileTest, MissingOrUnreadablePathChangesNothing) {
    form.SetText("APN", "mine");
    form.SetItemIndex("SleepMode", 2);
    const auto before = Snapshot(form);
    EXPECT_FALSE(LoadSettingsFile(form, dir.File("nothing here.ini")));
    EXPECT_FALSE(LoadSettingsFile(form, dir.File("no folder/x.ini")));
    EXPECT_EQ(Snapshot(form), before);

    EXPECT_THROW(LoadSettingsFile(form, dir.path), ESettingsFileError);
    EXPECT_EQ(Snapshot(form), before);
}

}  // namespace
}  // namespace quorvane
