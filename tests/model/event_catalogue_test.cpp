#include "blocks/event_catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace quorvane {
namespace {

TEST(EventCatalogue, HoldsFiftyFourEventsInCodeOrderWithoutThirteenToSixteen) {
    const auto& events = EventCatalogue();
    ASSERT_EQ(events.size(), 54u);
    EXPECT_EQ(events.front().code, 0);
    EXPECT_EQ(events.back().code, 57);
    for (std::size_t i = 1; i < events.size(); ++i) EXPECT_LT(events[i - 1].code, events[i].code);
    for (int code = 13; code <= 16; ++code) EXPECT_EQ(FindEvent(code), nullptr) << code;
    EXPECT_EQ(FindEvent(-1), nullptr);
    EXPECT_EQ(FindEvent(58), nullptr);
    for (const EventDef& e : events) EXPECT_EQ(FindEvent(e.code), &e);
}

TEST(EventCatalogue, NamesAndPrefixesAreUniqueAndCheckBoxesTotal554) {
    std::set<std::string> prefixes, nameEdits, boxes;
    int editCount = 0;
    for (const EventDef& e : EventCatalogue()) {
        EXPECT_TRUE(prefixes.insert(e.prefix).second) << e.prefix;
        if (!e.nameEdit.empty()) {
            ++editCount;
            EXPECT_TRUE(nameEdits.insert(e.nameEdit).second) << e.nameEdit;
        }
        for (const std::string& box : CheckBoxNames(e)) EXPECT_TRUE(boxes.insert(box).second) << box;
    }
    EXPECT_EQ(editCount, 52);
    EXPECT_EQ(boxes.size(), 554u);
}

TEST(EventCatalogue, SimilarPrefixesBelongToTheirOwnEvents) {
    std::map<std::string, int> owner;
    for (const EventDef& e : EventCatalogue())
        for (const std::string& box : CheckBoxNames(e)) owner[box] = e.code;
    EXPECT_EQ(owner.at("IN1GPRS1"), 1);
    EXPECT_EQ(owner.at("IN1IGPRS1"), 2);
    EXPECT_EQ(owner.at("EnterGEOOUT2"), 26);
    EXPECT_EQ(owner.at("FatiguetMoni3"), 43);
    EXPECT_EQ(owner.at("ExtLowSMS2"), 17);
}

TEST(EventCatalogue, IrregularRows) {
    auto boxes = [](int code) { return CheckBoxNames(*FindEvent(code)); };
    using V = std::vector<std::string>;
    EXPECT_EQ(boxes(31), (V{"HeartGPRS1", "HeartGPRS2"}));
    EXPECT_EQ(boxes(54), (V{"PictureGPRS1", "PictureGPRS2"}));
    EXPECT_TRUE(FindEvent(31)->nameEdit.empty());
    EXPECT_TRUE(FindEvent(54)->nameEdit.empty());
    EXPECT_EQ(boxes(0), (V{"IntervalGPRS1", "IntervalGPRS2", "IntervalSMS1", "IntervalSMS2", "IntervalSMS3"}));
    EXPECT_EQ(boxes(38), (V{"IdleGPRS1", "IdleGPRS2", "IdleSMS1", "IdleSMS2", "IdleSMS3", "IdleOUT1", "IdleOUT2"}));
    EXPECT_EQ(boxes(53).size(), 7u);
    EXPECT_FALSE(FindEvent(55)->Has(FlagGroup::Out));
    EXPECT_TRUE(FindEvent(55)->Has(FlagGroup::Moni));
    EXPECT_EQ(boxes(55).size(), 11u);
    EXPECT_EQ(FindEvent(34)->nameEdit, "CurrentName");
    EXPECT_EQ(FindEvent(17)->nameEdit, "ExtPowerLowName");
}

TEST(EventCatalogue, SettingsStemIsTheNameExceptForIntervalTracking) {
    EXPECT_EQ(FindEvent(0)->name, "Interval tracking");
    EXPECT_EQ(FindEvent(0)->settingsStem, "Interval");
    for (const EventDef& e : EventCatalogue())
        if (e.code != 0) {
            EXPECT_EQ(e.settingsStem, e.name);
        }
}

TEST(EventCatalogue, FlagColumnsRunGprsThenPerNumberSmsCallMoniThenOutputs) {
    std::vector<std::string> names;
    for (const EventFlag& f : EventFlagsInColumnOrder()) names.emplace_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"GPRS1", "GPRS2", "SMS1", "Call1", "Moni1", "SMS2", "Call2",
                                               "Moni2", "SMS3", "Call3", "Moni3", "OUT1", "OUT2"}));
    for (const EventFlag& f : EventFlagsInColumnOrder()) EXPECT_EQ(f.name[std::string(f.name).size() - 1] - '0', f.number);
}

}  // namespace
}  // namespace quorvane
