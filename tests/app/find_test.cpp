// Find: controls by label, name or settings key.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/find.h"

namespace quorvane {
namespace {

TEST(Find, MatchesLabelNameOrSettingsKeyAcrossTabs) {
    auto controls = [](const std::vector<FindMatch>& m) {
        std::vector<std::string> names;
        names.reserve(m.size());
        for (const FindMatch& f : m) names.push_back(f.control);
        return names;
    };
    const auto byKey = FindControls("gprs2 time");
    EXPECT_EQ(controls(byKey), std::vector<std::string>{"TimeInterval2"});
    EXPECT_EQ(byKey[0].tabCaption, "GPRS");

    const auto byLabel = FindControls("EXT-POWER LOW");
    ASSERT_FALSE(byLabel.empty());
    for (const FindMatch& m : byLabel) EXPECT_EQ(m.tabCaption, "Event") << m.control;
    EXPECT_NE(std::find(controls(byLabel).begin(), controls(byLabel).end(), "ExtPowerLowName"),
              controls(byLabel).end());

    EXPECT_EQ(controls(FindControls("no3lat")), std::vector<std::string>{"No3Lat"});
    EXPECT_TRUE(FindControls("no control is called this").empty());
    EXPECT_EQ(controls(FindControls("", {"Speed", "APN"})), (std::vector<std::string>{"APN", "Speed"}));
    EXPECT_TRUE(FindControls("apn", {"Speed"}).empty());
    for (const FindMatch& m : FindControls("")) EXPECT_NE(m.control, "ComboBox1");
}

}  // namespace
}  // namespace quorvane
