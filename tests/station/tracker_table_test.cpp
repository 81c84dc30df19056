// The per-tracker values file.
#include <gtest/gtest.h>

#include "station/tracker_table.h"

namespace quorvane {
namespace {

using Records = std::vector<std::vector<std::string>>;

TEST(Csv, QuotedFieldsHoldCommasQuotesAndLineBreaks) {
    EXPECT_EQ(ParseCsv("a,b\r\n\"x,y\",\"say \"\"hi\"\"\"\n\"two\nlines\",\n"),
              (Records{{"a", "b"}, {"x,y", "say \"hi\""}, {"two\nlines", ""}}));
    EXPECT_EQ(ParseCsv("a,,\"\"\n\nlast"), (Records{{"a", "", ""}, {"last"}})) << "empty lines hold no record";
    EXPECT_THROW(ParseCsv("a,\"open\n"), ETrackerTable);
    EXPECT_THROW(ParseCsv("a,\"x\"y\n"), ETrackerTable);
    EXPECT_THROW(ParseCsv("a,x\"y\n"), ETrackerTable);
}

std::string ErrorOf(const std::string& text) {
    try {
        TrackerTable::Parse(text, "t.csv");
    } catch (const ETrackerTable& e) {
        return e.what();
    }
    return "no error";
}

TEST(TrackerTable, RowsByKeyWithEscapesResolved) {
    const TrackerTable t = TrackerTable::Parse("SN,APN,Auth1Answer,GPRSType\nA1,x\\ty,1,2\nB2,\"q,r\",0,-1\n", "t");
    EXPECT_EQ(t.KeyColumn(), "SN");
    EXPECT_EQ(t.Size(), 2u);
    ASSERT_NE(t.Find("A1"), nullptr);
    EXPECT_EQ(*t.Find("A1"), (TrackerRow{{"APN", "x\ty"}, {"Auth1Answer", "1"}, {"GPRSType", "2"}}));
    EXPECT_EQ(t.Find("B2")->front().second, "q,r");
    EXPECT_EQ(t.Find("C3"), nullptr);
}

TEST(TrackerTable, MalformedFilesAreRefusedWithTheirRow) {
    EXPECT_EQ(ErrorOf(""), "t.csv: empty; the first row names IMEI or SN and controls");
    EXPECT_EQ(ErrorOf("Name,APN\n"), "t.csv: the first column is 'Name', not IMEI or SN");
    EXPECT_EQ(ErrorOf("IMEI,Nope\n"), "t.csv: unknown control 'Nope'");
    EXPECT_EQ(ErrorOf("IMEI,APN,APN\n"), "t.csv: control 'APN' named twice");
    EXPECT_EQ(ErrorOf("IMEI,APN\n1,a\n2\n"), "t.csv: row 3 has 1 fields, the first row 2");
    EXPECT_EQ(ErrorOf("IMEI,APN\n1,a\n1,b\n"), "t.csv: row 3: IMEI 1 is there twice");
    EXPECT_EQ(ErrorOf("IMEI,APN\n,a\n"), "t.csv: row 2: no IMEI");
    EXPECT_EQ(ErrorOf("IMEI,GPRSType\n1,two\n"), "t.csv: row 2: GPRSType: --set GPRSType takes an item index, not 'two'");
    EXPECT_EQ(ErrorOf("IMEI,APN\n1,a\\q\n").rfind("t.csv: row 2: APN: ", 0), 0u);
    EXPECT_EQ(ErrorOf("IMEI,APN\n1,\"a\n"), "t.csv: line 2: a quoted field is not closed");
    EXPECT_EQ(ErrorOf("IMEI,SIMPIN\n1,\xE2\x82\xAC\n"),
              "t.csv: row 2: SIMPIN: '\xE2\x82\xAC' has no 8-bit form (the tracker keeps Latin-1 text)");
}

// UTF-8 throughout (a byte order mark allowed) is converted; anything else is 8-bit
// text already, an overlong or cut UTF-8 sequence included.
TEST(TrackerTable, UnicodeFilesBecomeEightBitText) {
    const TrackerTable utf8 = TrackerTable::Parse("\xEF\xBB\xBFSN,APN,SIMPIN\nA1,\xC3\xBC\\xfc,\xC3\xA9t\xC3\xA9\n", "t");
    EXPECT_EQ(*utf8.Find("A1"), (TrackerRow{{"APN", "\xFC\xFC"}, {"SIMPIN", "\xE9t\xE9"}}));
    for (const char* notUtf8 : {"\xC0\xBC", "\xFC", "\xC3"}) {
        const TrackerTable latin1 = TrackerTable::Parse(std::string("SN,APN\nA1,") + notUtf8 + "\n", "t");
        EXPECT_EQ(latin1.Find("A1")->front().second, notUtf8);
    }
}

}  // namespace
}  // namespace quorvane
