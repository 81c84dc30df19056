#include "model/input_rules.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

const InputRule& Rule(std::string_view control) {
    const InputRule* r = FindInputRule(control);
    if (r == nullptr) throw std::out_of_range(std::string(control));
    return *r;
}

// Types `keys` into a box starting with `text`, as the window would: each key the
// filter lets through is inserted at the end, backspace deletes the last character.
std::string Type(std::string_view control, std::string text, std::string_view keys) {
    const InputRule* rule = FindInputRule(control);
    for (char k : keys) {
        if (rule != nullptr && !KeyPasses(*rule, text, k)) continue;
        if (k == kBackspace) {
            if (!text.empty()) text.pop_back();
        } else {
            text.push_back(k);
        }
    }
    return text;
}

std::string Leave(std::string_view control, std::string text) {
    if (const InputRule* rule = FindInputRule(control)) ApplyLeaveRule(*rule, text);
    return text;
}

TEST(InputRules, CharacterKinds) {
    EXPECT_EQ(Type("Heading", "", "1.5"), "15");
    EXPECT_EQ(Type("DistanceInterval", "", "12.5"), "125");
    EXPECT_EQ(Type("LowExtBatAlarm", "", "1.5"), "1.5");
    EXPECT_EQ(Type("SMSTimeZone", "", "-8"), "-8");
    EXPECT_EQ(Type("SMSTimeZone", "", "+8"), "8");
    EXPECT_EQ(Type("Temp1_High", "", "-12.5"), "-12.5");
    EXPECT_EQ(Type("No1Long", "", "+113.25x"), "+113.25");
    EXPECT_EQ(Type("Temp3_ID", "", "a1-B2 c"), "a1B2c");
    EXPECT_EQ(Type("Port2", "80", "8a0\b"), "808");
}

TEST(InputRules, ControlCharactersAreDiscardedByCharacterKindsOnly) {
    const char ctrlV = 0x16, ctrlC = 0x03;
    for (const char* box : {"Heading", "LowExtBatAlarm", "SMSTimeZone", "No1Lat", "Temp1_ID", "DeviceID"}) {
        EXPECT_FALSE(KeyPasses(Rule(box), "", ctrlV)) << box;
        EXPECT_FALSE(KeyPasses(Rule(box), "", ctrlC)) << box;
        EXPECT_TRUE(KeyPasses(Rule(box), "1", kBackspace)) << box;
        EXPECT_FALSE(KeyPasses(Rule(box), "", static_cast<char>(0xE9))) << box;
    }
    EXPECT_TRUE(KeyPasses(Rule("APN"), "internet", ctrlV));
    EXPECT_FALSE(KeyPasses(Rule("APN"), std::string(32, 'a'), ctrlV));
}

TEST(InputRules, LengthLimits) {
    const std::string full(32, 'x');
    EXPECT_EQ(Type("APN", std::string(31, 'x'), "yz"), std::string(31, 'x') + "y");
    EXPECT_EQ(Type("APN", full, "q\b"), std::string(31, 'x'));
    EXPECT_EQ(Type("APN", std::string(40, 'x'), "q"), std::string(40, 'x')) << "a pasted long text stays blocked";
    for (const char* box : {"APNName", "APNPassword", "IP", "IP3"}) {
        EXPECT_EQ(Rule(box).filter, KeyFilter::LengthLimit) << box;
        EXPECT_EQ(Rule(box).limit, 32) << box;
    }
    EXPECT_EQ(FindInputRule("IP2"), nullptr);
    EXPECT_EQ(Type("IP2", full, "abc"), full + "abc");

    EXPECT_EQ(Type("DeviceID", "", "AB-12.cd"), "AB12cd");
    EXPECT_EQ(Type("DeviceID", std::string(13, '1'), "23"), std::string(13, '1') + "2");
    EXPECT_EQ(Type("DeviceID", std::string(14, '1'), "\b"), std::string(13, '1'));
}

TEST(InputRules, LeaveRules) {
    EXPECT_EQ(Leave("SensorSen", ""), "2");
    EXPECT_EQ(Leave("Speed", ""), "0");
    EXPECT_EQ(Leave("LowSpeed", ""), "0");
    EXPECT_EQ(Leave("No1Lat", ""), "0");
    EXPECT_EQ(Leave("TimeInterval2", ""), "0");
    EXPECT_EQ(Leave("Speed", " "), " ") << "blanks are not empty";
    EXPECT_EQ(Leave("Speed", "abc"), "abc");
    EXPECT_EQ(Leave("Temp1_High", ""), "") << "an empty alarm means no alarm";
    EXPECT_EQ(Leave("No2Lat", ""), "");
    EXPECT_EQ(Leave("Port", ""), "");

    std::string text;
    EXPECT_TRUE(ApplyLeaveRule(Rule("Heading"), text));
    EXPECT_FALSE(ApplyLeaveRule(Rule("Heading"), text));
    EXPECT_FALSE(ApplyLeaveRule(Rule("APN"), text = ""));
    EXPECT_EQ(text, "");
}

TEST(InputRules, OnlyTheFirstRowsOfTempAndGeoFilter) {
    EXPECT_EQ(Type("No2Lat", "", "abc"), "abc");
    EXPECT_EQ(Type("Temp2_High", "", "abc"), "abc");
    EXPECT_EQ(Type("Temp8_ID", "", "a-b"), "ab");
    EXPECT_EQ(FindInputRule("No2Radius"), nullptr);
    EXPECT_EQ(FindInputRule("StopInterval"), nullptr);
    EXPECT_EQ(FindInputRule("Unknown"), nullptr);
}

TEST(InputRules, NoFilterPassesEverything) {
    const InputRule none;
    EXPECT_TRUE(KeyPasses(none, "", 0x16));
    EXPECT_TRUE(KeyPasses(none, std::string(100, 'x'), 'a'));
    std::string empty;
    EXPECT_FALSE(ApplyLeaveRule(none, empty));
}

}  // namespace
}  // namespace quorvane
