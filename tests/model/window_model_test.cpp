#include "model/window_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "blocks/event_catalogue.h"

namespace quorvane {
namespace {

const ControlDef& Get(std::string_view name) {
    const ControlDef* c = FindControl(name);
    if (c == nullptr) throw std::out_of_range(std::string(name));
    return *c;
}

TEST(WindowModel, NineTabsInWindowOrder) {
    std::vector<std::pair<std::string, std::string>> tabs;
    for (const TabDef& t : Tabs()) tabs.emplace_back(t.name, t.caption);
    EXPECT_EQ(tabs, (std::vector<std::pair<std::string, std::string>>{
                        {"TabSheet1", "Info"}, {"TabSheet2", "GPRS"}, {"TabSheet3", "Main"},
                        {"TabSheet8", "Interface"}, {"TabSheet7", "RFID"}, {"TabSheet9", "Temp"},
                        {"TabSheet5", "Auth"}, {"TabSheet4", "GEO"}, {"TabSheet6", "Event"}}));
}

TEST(WindowModel, NamesAreUniqueAndIndexed) {
    std::set<std::string> names;
    for (const TabDef& t : Tabs()) names.insert(t.name);
    for (const ControlDef& c : Controls()) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        EXPECT_EQ(FindControl(c.name), &c) << c.name;
    }
    EXPECT_EQ(FindControl("NoSuchControl"), nullptr);
    EXPECT_EQ(FindControl("apn"), nullptr);
}

TEST(WindowModel, ControlsRunTabByTabAndSitInGroupsOfTheirTab) {
    std::size_t tab = 0;
    const auto& tabs = Tabs();
    for (const ControlDef& c : Controls()) {
        while (tab < tabs.size() && tabs[tab].name != c.tab) ++tab;
        ASSERT_LT(tab, tabs.size()) << c.name << " is out of tab order";
        if (c.group.empty()) continue;
        const ControlDef* g = FindControl(c.group);
        ASSERT_NE(g, nullptr) << c.name;
        EXPECT_TRUE(g->kind == ControlKind::GroupBox || g->kind == ControlKind::ScrollBox) << c.name;
        EXPECT_EQ(g->tab, c.tab) << c.name;
        EXPECT_LT(g, &c) << c.name << " comes before its group";
    }
}

TEST(WindowModel, EventTabFollowsTheCatalogue) {
    int edits = 0, boxes = 0;
    for (const ControlDef* c : DataControls("TabSheet6")) {
        EXPECT_EQ(c->group, "ScrollBox1") << c->name;
        if (c->kind == ControlKind::Edit) ++edits;
        if (c->kind == ControlKind::CheckBox) ++boxes;
    }
    EXPECT_EQ(edits, 52);
    EXPECT_EQ(boxes, 554);

    const auto& flags = EventFlagsInColumnOrder();
    int row = 0;
    for (const EventDef& e : EventCatalogue()) {
        const ControlDef& label = Get(EventLabelName(e.code));
        EXPECT_EQ(label.kind, ControlKind::Label);
        EXPECT_EQ(label.row, row);
        EXPECT_EQ(label.label, "(" + std::to_string(e.code) + ") " + e.name);
        if (!e.nameEdit.empty()) {
            EXPECT_EQ(Get(e.nameEdit).row, row);
        }
        for (std::size_t col = 0; col < flags.size(); ++col) {
            const ControlDef* box = FindControl(e.prefix + flags[col].name);
            ASSERT_EQ(box != nullptr, e.Has(flags[col].group)) << e.prefix << flags[col].name;
            if (box == nullptr) continue;
            EXPECT_EQ(box->kind, ControlKind::CheckBox);
            EXPECT_EQ(box->row, row);
            EXPECT_EQ(box->column, static_cast<int>(col));
        }
        ++row;
    }
    EXPECT_EQ(Get("EventLabel17").label, "(17) Ext-power low");
    EXPECT_EQ(Get("EventLabel57").label, "(57) Low Speed");
    EXPECT_EQ(FindControl("EventLabel13"), nullptr);
}

TEST(WindowModel, FixedEventBoxes) {
    for (const char* n : {"IntervalGPRS1", "IntervalGPRS2"}) {
        EXPECT_TRUE(Get(n).checked) << n;
        EXPECT_FALSE(Get(n).enabled) << n;
    }
    for (const char* n : {"ReplyGPRS1", "ReplyGPRS2", "ReplySMS1", "ReplySMS2", "ReplySMS3"}) {
        EXPECT_TRUE(Get(n).checked) << n;
        EXPECT_TRUE(Get(n).enabled) << n << " is disabled only by FormCreate";
        EXPECT_EQ(Get(n).tristate, std::string(n) == "ReplyGPRS1") << n;
    }
    int checked = 0;
    for (const ControlDef& c : Controls()) checked += c.checked;
    EXPECT_EQ(checked, 7);
}

TEST(WindowModel, LinkButtonsAndControlsDisabledAtCreate) {
    const auto& link = LinkButtons();
    ASSERT_EQ(link.size(), 21u);
    EXPECT_EQ(link.front(), "ReadAll");
    EXPECT_EQ(link[9], "MainRead");
    EXPECT_EQ(link.back(), "CHK_ID");
    for (const std::string& n : link) {
        EXPECT_EQ(Get(n).kind, ControlKind::Button) << n;
        EXPECT_TRUE(Get(n).enabled) << n;
    }
    for (const char* n : {"ClearGPRS1", "ClearGPRS2", "ClearSMS", "ClearGPSLog", "SetMileage"})
        EXPECT_EQ(std::count(link.begin(), link.end(), n), 0) << n;
    EXPECT_EQ(DisabledAtCreate(), (std::vector<std::string>{"DeviceID", "BatteryLowVolt", "ReplyGPRS1", "ReplyGPRS2",
                                                            "ReplySMS1", "ReplySMS2", "ReplySMS3"}));
    for (const std::string& n : DisabledAtCreate()) EXPECT_TRUE(Get(n).enabled) << n;

    std::vector<std::string> designDisabled;
    for (const ControlDef& c : Controls())
        if (!c.enabled) designDisabled.push_back(c.name);
    EXPECT_EQ(designDisabled, (std::vector<std::string>{"ReportType2", "IntervalGPRS1", "IntervalGPRS2"}));
}

TEST(WindowModel, ButtonsHaveCaptionsAndClickHandlers) {
    std::set<std::string> handlers;
    for (const ControlDef& c : Controls()) {
        if (c.kind != ControlKind::Button) continue;
        EXPECT_FALSE(c.label.empty()) << c.name;
        EXPECT_TRUE(handlers.insert(c.handler).second) << c.handler;
    }
    EXPECT_EQ(Get("MainRead").handler, "MainSetReadClick");
    EXPECT_EQ(Get("MainWrite").handler, "MainSetWriteClick");
    EXPECT_EQ(Get("InitAll").label, "Default");
    EXPECT_EQ(Get("SET_ID").label, "Auth ID");
    EXPECT_EQ(Get("OpenPort").label, "Open");
    EXPECT_EQ(Get("ComboBox1").text, "None");
    EXPECT_EQ(Get("ComboBox1").handler, "ComboBox1DropDown");
    EXPECT_EQ(Get("RFID_Memo").kind, ControlKind::Memo);
}

TEST(WindowModel, DataControlsAreEditsChecksAndCombosInWindowOrder) {
    std::size_t total = 0;
    for (const TabDef& t : Tabs()) {
        const auto data = DataControls(t.name);
        for (std::size_t i = 0; i < data.size(); ++i) {
            EXPECT_EQ(data[i]->tab, t.name);
            EXPECT_TRUE(data[i]->kind == ControlKind::Edit || data[i]->kind == ControlKind::CheckBox ||
                        data[i]->kind == ControlKind::ComboBox)
                << data[i]->name;
            if (i > 0) {
                EXPECT_LT(data[i - 1], data[i]);
            }
        }
        total += data.size();
    }
    std::size_t expected = 0;
    for (const ControlDef& c : Controls())
        expected += c.kind == ControlKind::Edit || c.kind == ControlKind::CheckBox || c.kind == ControlKind::ComboBox;
    EXPECT_EQ(total, expected);
    EXPECT_TRUE(DataControls("NoTab").empty());
    const auto info = DataControls("TabSheet1");
    EXPECT_EQ(info.front()->name, "ComboBox1");
    EXPECT_EQ(info.back()->name, "Mileage");
}

TEST(WindowModel, InterfaceInputRows) {
    struct Row { const char* label; const char* caption; const char* time; const char* unit; bool shown; };
    const Row rows[6] = {{"Label219", "Input1", "Label220", "Label221", true},
                         {"Label218", "Input2", "Label222", "Label223", true},
                         {"Label214", "Input3(AD2)", "Label224", "Label225", true},
                         {"Label215", "Input4(AD1)", "Label226", "Label227", true},
                         {"Label216", "Input5(AD1)", "Label228", "Label229", false},
                         {"Label217", "Input6(AD2)", "Label230", "Label231", false}};
    for (int i = 0; i < 6; ++i) {
        const Row& r = rows[i];
        const std::string n = std::to_string(i + 1);
        EXPECT_EQ(Get(r.label).label, r.caption);
        EXPECT_EQ(Get(r.time).label, "Active Time");
        EXPECT_EQ(Get(r.unit).label, "ms");
        const ControlDef& mode = Get("In" + n + "Mode");
        const ControlDef& time = Get("IN" + n + "ActiveTM");
        EXPECT_EQ(mode.labelControl, r.label);
        EXPECT_EQ(time.labelControl, r.time);
        EXPECT_EQ(time.unitControl, r.unit);
        for (const ControlDef* c : {&Get(r.label), &mode, &Get(r.time), &time, &Get(r.unit)}) {
            EXPECT_EQ(c->visible, r.shown) << c->name;
            EXPECT_EQ(c->row, i) << c->name;
            EXPECT_EQ(c->group, "GroupBox14") << c->name;
        }
    }
}

TEST(WindowModel, TableHintsOfGeoTempAndAuth) {
    EXPECT_EQ(Get("No8Long").row, 7);
    EXPECT_EQ(Get("No8Long").column, 5);
    EXPECT_EQ(Get("No3In").column, 2);
    EXPECT_EQ(Get("Temp5_ID").row, 4);
    EXPECT_EQ(Get("Temp5_ID").column, 1);
    EXPECT_EQ(Get("Auth3").row, 0);
    EXPECT_EQ(Get("Auth3").column, 2);
    EXPECT_EQ(Get("Auth2Position").row, 4);
    EXPECT_EQ(Get("Auth2Position").column, 1);
    EXPECT_EQ(Get("Auth2Position").group, "GroupBox4");
}

TEST(WindowModel, InputRuleHandlersAreExactlyTheWindowsHandlers) {
    std::set<std::string> fromModel;
    for (const ControlDef& c : Controls()) {
        if (!c.rule.keyHandler.empty()) fromModel.insert(c.rule.keyHandler);
        if (!c.rule.exitHandler.empty()) fromModel.insert(c.rule.exitHandler);
        EXPECT_EQ(c.rule.hasLeaveRule, !c.rule.exitHandler.empty()) << c.name;
        if (c.rule.filter != KeyFilter::None || c.rule.hasLeaveRule) {
            EXPECT_EQ(c.kind, ControlKind::Edit) << c.name;
        }
    }
    const std::set<std::string> expected = {
        "TimeIntervalKeyPress", "TimeIntervalExit", "ACCOffIntervalKeyPress", "ACCOffIntervalExit",
        "PortKeyPress", "Port2KeyPress", "Port3KeyPress", "GPSLogTMKeyPress", "GPSLogTMExit",
        "DistanceIntervalKeyPress", "DistanceIntervalExit", "HeadingKeyPress", "HeadingExit", "SpeedKeyPress",
        "SpeedExit", "HeartBeatTMKeyPress", "HeartBeatTMExit", "PowerSavingTMKeyPress", "PowerSavingTMExit",
        "SensorSenKeyPress", "SensorSenExit", "LowExtBatAlarmKeyPress", "LowExtBatAlarmExit",
        "AccelerationKeyPress", "AccelerationExit", "DecelerationKeyPress", "DecelerationExit",
        "HarshTurnKeyPress", "HarshTurnExit", "Temp_IDKeyPress", "SMSTimeZoneKeyPress", "SMSTimeZoneExit",
        "No1RadiusKeyPress", "No1RadiusExit", "No1LatKeyPress", "No1LatExit", "No1LongKeyPress", "No1LongExit",
        "APNKeyPress", "APNNameKeyPress", "APNPasswordKeyPress", "IPKeyPress", "DeviceIDKeyPress"};
    EXPECT_EQ(fromModel, expected);
    EXPECT_EQ(Get("LowSpeed").rule.keyHandler, "SpeedKeyPress");
    EXPECT_EQ(Get("IP3").rule.keyHandler, "IPKeyPress");
    EXPECT_EQ(Get("Temp1_High").rule.keyHandler, "No1LatKeyPress");
    EXPECT_FALSE(Get("Temp1_High").rule.hasLeaveRule);
}

TEST(WindowModel, TableHeadingsCoverEveryColumnUsed) {
    for (const TableHeadings& t : Tables()) {
        const ControlDef* g = FindControl(t.group);
        ASSERT_NE(g, nullptr) << t.group;
        int maxRow = -1, maxColumn = -1;
        for (const ControlDef& c : Controls()) {
            if (c.group != t.group) continue;
            maxRow = std::max(maxRow, c.row);
            maxColumn = std::max(maxColumn, c.column);
        }
        EXPECT_EQ(static_cast<int>(t.columns.size()), maxColumn + 1) << t.group;
        if (!t.rows.empty()) {
            EXPECT_EQ(static_cast<int>(t.rows.size()), maxRow + 1) << t.group;
        }
        if (!t.columnGroups.empty()) {
            EXPECT_EQ(t.columnGroups.size(), t.columns.size()) << t.group;
        }
    }
    const TableHeadings* events = FindTable("ScrollBox1");
    ASSERT_NE(events, nullptr);
    EXPECT_EQ(events->leading, (std::vector<std::string>{"Event", "SMS Alarm Name"}));
    EXPECT_EQ(events->columnGroups[5], "Auth No.2");
    EXPECT_EQ(events->columns[5], "sms");
    EXPECT_EQ(events->columns[10], "moni");
    EXPECT_EQ(events->columnGroups[12], "Output");
    EXPECT_EQ(events->columns[12], "2");
    EXPECT_EQ(FindTable("GeoFenceGroup")->numberHeading, "No.");
    EXPECT_EQ(FindTable("GroupBox4")->rows[3], "Auto Hangup");
    EXPECT_EQ(FindTable("GroupBox3"), nullptr);
}

}  // namespace
}  // namespace quorvane
