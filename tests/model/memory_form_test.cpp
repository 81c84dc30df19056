#include "model/memory_form.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(MemoryForm, ComboBoxesStartAsTheFormDefinesThem) {
    MemoryForm f;
    const std::pair<const char*, const char*> unselected[] = {
        {"BufferMode", "FILO"},       {"SleepMode", "Close"},      {"Car_Type", "0000(Standard)"},
        {"In1Mode", "Low Active"},    {"In2Mode", "High Active"},  {"In3Mode", "High Active"},
        {"In4Mode", "AD Input"},      {"Tank1Source", "AD1"},      {"Tank2Source", "AD2"},
        {"Tank1Type", "No Sensor"},   {"Tank2Type", "No Sensor"},  {"Out1Mode", "Open"},
        {"Out2Mode", "Open"},         {"RS232_1", "None"},         {"RS232_2", "None"},
        {"ComboBox1", "None"}};
    for (const auto& [name, shown] : unselected) {
        EXPECT_EQ(f.ItemIndex(name), -1) << name;
        EXPECT_EQ(f.Text(name), shown) << name;
    }
    const std::pair<const char*, const char*> first[] = {
        {"BufferMode2", "FILO"}, {"GPRSType", "Close"}, {"GPRSType2", "Close"},
        {"ReportType", "No needs server's confirmation"}, {"ReportType2", "No needs server's confirmation"},
        {"TowMode", "ACC Off and Tremble"}};
    for (const auto& [name, shown] : first) {
        EXPECT_EQ(f.ItemIndex(name), 0) << name;
        EXPECT_EQ(f.Text(name), shown) << name;
    }
    EXPECT_EQ(f.ItemIndex("In5Mode"), 2);
    EXPECT_EQ(f.Text("In6Mode"), "AD Input");
    EXPECT_FALSE(f.Enabled("ReportType2"));
}

TEST(MemoryForm, EditsAndVisibilityStartAsTheFormDefinesThem) {
    MemoryForm f;
    EXPECT_EQ(f.Text("BatteryLowVolt"), "3.60");
    EXPECT_EQ(f.Text("LowExtBatAlarm"), "11.4");
    EXPECT_EQ(f.Text("Password"), "6294");
    EXPECT_EQ(f.Text("No1Lat"), "0.000000");
    EXPECT_EQ(f.Text("No8Long"), "0.000000");
    EXPECT_EQ(f.Text("Mileage"), "0");
    EXPECT_EQ(f.Text("RFID"), "0");
    EXPECT_EQ(f.Text("RoamingInterval"), "0") << "as its GPRS-2 twin: a fresh window can be written";
    EXPECT_EQ(f.Text("RoamingInterval2"), "0");
    EXPECT_EQ(f.Text("APN"), "");
    EXPECT_EQ(f.Text("RFID_Memo"), "");
    for (const char* n : {"RoamingInterval", "RoamingInterval2", "BatteryLowVolt", "In5Mode", "In6Mode",
                          "IN5ActiveTM", "IN6ActiveTM", "Label216", "Label231"})
        EXPECT_FALSE(f.Visible(n)) << n;
    EXPECT_TRUE(f.Visible("In4Mode"));
    EXPECT_TRUE(f.Checked("IntervalGPRS1"));
    EXPECT_TRUE(f.Checked("ReplySMS3"));
    EXPECT_FALSE(f.Checked("IntervalSMS1"));
    EXPECT_EQ(f.Caption("OpenPort"), "Open");
    EXPECT_EQ(f.Caption("TabSheet8"), "Interface");
    EXPECT_EQ(f.Caption("GroupBox3"), "GPRS-1");
    EXPECT_EQ(f.Caption("EventLabel53"), "(53) Swiping card");
    EXPECT_EQ(f.Caption("Label214"), "Input3(AD2)");
}

TEST(MemoryForm, HiddenControlsKeepTheirValues) {
    MemoryForm f;
    f.SetText("IN5ActiveTM", "250");
    f.SetItemIndex("In6Mode", 1);
    EXPECT_EQ(f.Text("IN5ActiveTM"), "250");
    EXPECT_EQ(f.ItemIndex("In6Mode"), 1);
    EXPECT_EQ(f.Text("In6Mode"), "High Active");
}

TEST(MemoryForm, ItemIndexOutsideTheListLeavesNoSelection) {
    MemoryForm f;
    f.SetItemIndex("GPRSType", 2);
    EXPECT_EQ(f.Text("GPRSType"), "UDP");
    for (int bad : {3, -1, 255, -7}) {
        f.SetItemIndex("GPRSType", 2);
        f.SetItemIndex("GPRSType", bad);
        EXPECT_EQ(f.ItemIndex("GPRSType"), -1) << bad;
        EXPECT_EQ(f.Text("GPRSType"), "") << bad;
    }
    // Typing into a combo box changes the shown text only.
    f.SetItemIndex("Car_Type", 9);
    f.SetText("Car_Type", "typed");
    EXPECT_EQ(f.ItemIndex("Car_Type"), 9);
    EXPECT_EQ(f.Text("Car_Type"), "typed");
}

TEST(MemoryForm, WrongKindIsAProgrammingErrorNamingTheControl) {
    MemoryForm f;
    auto message = [](auto call) -> std::string {
        try {
            call();
        } catch (const EUnknownControl&) {
            return "unknown";
        } catch (const std::logic_error& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_NE(message([&] { (void)f.Checked("APN"); }).find("'APN'"), std::string::npos);
    EXPECT_NE(message([&] { (void)f.ItemIndex("No1Out"); }).find("'No1Out'"), std::string::npos);
    EXPECT_NE(message([&] { f.SetChecked("GPRSType", true); }).find("'GPRSType'"), std::string::npos);
    EXPECT_NE(message([&] { f.SetItemIndex("Speed", 0); }).find("'Speed'"), std::string::npos);
    EXPECT_NE(message([&] { (void)f.Text("ReadAll"); }).find("'ReadAll'"), std::string::npos);
    EXPECT_NE(message([&] { (void)f.Caption("APN"); }).find("'APN'"), std::string::npos);
    EXPECT_NE(message([&] { (void)f.Text("TabSheet1"); }).find("'TabSheet1'"), std::string::npos);
    EXPECT_EQ(message([&] { (void)f.Text("Nope"); }), "unknown");
    EXPECT_EQ(message([&] { f.SetEnabled("Nope", true); }), "unknown");
    EXPECT_THROW(f.Caption(""), EUnknownControl);
}

TEST(MemoryForm, MemoTextIsStoredAsGiven) {
    MemoryForm f;
    f.SetText("RFID_Memo", "0001234567\r\n0007654321\r\n");
    EXPECT_EQ(f.Text("RFID_Memo"), "0001234567\r\n0007654321\r\n");
    std::string bytes("a\0\xff", 3);
    f.SetText("RFID_Memo", bytes);
    EXPECT_EQ(f.Text("RFID_Memo"), bytes);
}

TEST(MemoryForm, PortListCanBeReplaced) {
    MemoryForm f;
    f.SetItems("ComboBox1", {"COM1", "COM3"});
    EXPECT_EQ(f.Text("ComboBox1"), "None");
    f.SetItemIndex("ComboBox1", 1);
    EXPECT_EQ(f.Text("ComboBox1"), "COM3");
    f.SetItems("ComboBox1", {});
    EXPECT_EQ(f.ItemIndex("ComboBox1"), -1);
    EXPECT_EQ(f.Text("ComboBox1"), "COM3");
}

TEST(MemoryForm, ResetRestoresTheStartState) {
    MemoryForm f;
    f.SetText("APN", "internet");
    f.SetChecked("IntervalGPRS1", false);
    f.SetItemIndex("In5Mode", -1);
    f.SetEnabled("ReadAll", false);
    f.SetVisible("In5Mode", true);
    f.SetCaption("OpenPort", "Close");
    f.SetCaption("TabSheet1", "x");
    f.SetItems("ComboBox1", {"COM1"});
    f.Reset();
    EXPECT_EQ(f.Text("APN"), "");
    EXPECT_TRUE(f.Checked("IntervalGPRS1"));
    EXPECT_EQ(f.ItemIndex("In5Mode"), 2);
    EXPECT_TRUE(f.Enabled("ReadAll"));
    EXPECT_FALSE(f.Visible("In5Mode"));
    EXPECT_EQ(f.Caption("OpenPort"), "Open");
    EXPECT_EQ(f.Caption("TabSheet1"), "Info");
    EXPECT_TRUE(f.Items("ComboBox1").empty());
}

TEST(MemoryForm, EveryModelControlIsAddressable) {
    MemoryForm f;
    for (const ControlDef& c : Controls()) {
        EXPECT_TRUE(MemoryForm::Has(c.name)) << c.name;
        EXPECT_EQ(f.Visible(c.name), c.visible) << c.name;
        EXPECT_EQ(f.Enabled(c.name), c.enabled) << c.name;
        if (c.kind == ControlKind::CheckBox) {
            EXPECT_EQ(f.Checked(c.name), c.checked) << c.name;
        }
        if (c.kind == ControlKind::Edit) {
            EXPECT_EQ(f.Text(c.name), c.text) << c.name;
        }
    }
    EXPECT_FALSE(MemoryForm::Has("TabSheet10"));
}

}  // namespace
}  // namespace quorvane
