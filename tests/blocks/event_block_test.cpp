#include "blocks/event_block.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "model/memory_form.h"
#include "blocks/event_catalogue.h"
#include "blocks/memory_map.h"
#include "tests/blocks/answer_builder.h"
#include "tests/blocks/form_snapshot.h"

namespace quorvane {
namespace {

using test::Data;
using Bytes = std::vector<std::uint8_t>;

const std::vector<std::string> kReplyBoxes{"ReplyGPRS1", "ReplyGPRS2", "ReplySMS1", "ReplySMS2", "ReplySMS3"};

void ClearEventTab(Form& form) {
    for (const EventDef& e : EventCatalogue()) {
        if (!e.nameEdit.empty()) form.SetText(e.nameEdit, "");
        for (const std::string& box : CheckBoxNames(e)) form.SetChecked(box, false);
    }
}

Bytes Encoded(const Form& form) {
    TxPayload tx;
    EncodeEventBlock(form, tx);
    return Data(tx);
}

TEST(EventBlock, AClearTabGivesZeroData) {
    MemoryForm form;
    ClearEventTab(form);
    TxPayload tx;
    EncodeEventBlock(form, tx);
    EXPECT_EQ(tx.length, 1861);
    EXPECT_EQ(Bytes(tx.bytes.begin(), tx.bytes.begin() + 5), (Bytes{0x05, 0x00, 0x00, 0x07, 0x40}));
    EXPECT_EQ(Data(tx), Bytes(1856, 0));
}

TEST(EventBlock, StartState) {
    MemoryForm form;
    Bytes expected(1856, 0);
    expected[16] = 0x03;
    expected[1104] = 0x03;
    expected[1105] = 0x07;
    EXPECT_EQ(Encoded(form), expected);
}

TEST(EventBlock, Input1ActiveRecord) {
    MemoryForm form;
    ClearEventTab(form);
    form.SetText("IN1Name", "Door open");
    for (const char* box : {"IN1GPRS1", "IN1SMS2", "IN1Call3", "IN1OUT2"}) form.SetChecked(box, true);
    const Bytes data = Encoded(form);
    Bytes record{'D', 'o', 'o', 'r', ' ', 'o', 'p', 'e', 'n', 0, 0, 0, 0, 0, 0, 0, 0x01, 0x02, 0x04, 0x00, 0x02};
    record.resize(32, 0);
    EXPECT_EQ(Bytes(data.begin() + 32, data.begin() + 64), record);
    Bytes rest(data.begin(), data.begin() + 32);
    rest.insert(rest.end(), data.begin() + 64, data.end());
    EXPECT_EQ(rest, Bytes(1856 - 32, 0));
}

TEST(EventBlock, GroupsKeepTheirPlaces) {
    MemoryForm form;
    ClearEventTab(form);
    form.SetChecked("IdleOUT1", true);
    form.SetChecked("RFIDOUT2", true);
    form.SetChecked("ExtLowSMS3", true);
    form.SetChecked("HeartGPRS2", true);
    const Bytes data = Encoded(form);
    EXPECT_EQ(data[1236], 0x01);
    EXPECT_EQ(data[1234], 0x00);
    EXPECT_EQ(data[1235], 0x00);
    EXPECT_EQ(data[1716], 0x02);
    EXPECT_EQ(data[561], 0x04);
    EXPECT_EQ(data[31 * 32 + 16], 0x02);
    int nonZero = 0;
    for (std::uint8_t b : data) nonZero += b != 0;
    EXPECT_EQ(nonZero, 4);
}

TEST(EventBlock, LongNamesAreRefusedAndSixteenAreKept) {
    MemoryForm form;
    form.SetText("LowSpeedName", "ABCDEFGHIJKLMNOPQRST");
    TxPayload tx;
    try {
        EncodeEventBlock(form, tx);
        ADD_FAILURE() << "a 20-character name was written";
    } catch (const EDoesNotFit& e) {
        EXPECT_STREQ(e.what(), "'ABCDEFGHIJKLMNOPQRST' is too long for LowSpeedName (at most 16 characters)");
        EXPECT_EQ(e.Control(), "LowSpeedName");
    }
    EXPECT_EQ(tx.length, 0);
    form.SetText("LowSpeedName", "ABCDEFGHIJKLMNOP");
    EncodeEventBlock(form, tx);
    const Bytes data = Data(tx);
    const auto name = data.begin() + std::ptrdiff_t{57} * 32;
    EXPECT_EQ(std::string(name, name + 16), "ABCDEFGHIJKLMNOP");
    MemoryForm back;
    const test::Answer a = test::AnswerFromWrite(BlockId::Event, tx);
    ASSERT_TRUE(DecodeEventBlock(back, a.View(), a.index));
    EXPECT_EQ(back.Text("LowSpeedName"), "ABCDEFGHIJKLMNOP");
}

TEST(EventBlock, EveryNameRoundTrips) {
    MemoryForm form;
    int n = 0;
    for (const EventDef& e : EventCatalogue())
        if (!e.nameEdit.empty()) form.SetText(e.nameEdit, "Name " + std::to_string(100 + n++) + "\xA0\xFFxxxxxx");
    TxPayload tx;
    EncodeEventBlock(form, tx);
    MemoryForm back;
    const test::Answer a = test::AnswerFromWrite(BlockId::Event, tx);
    ASSERT_TRUE(DecodeEventBlock(back, a.View(), a.index));
    for (const EventDef& e : EventCatalogue()) {
        if (!e.nameEdit.empty()) {
            EXPECT_EQ(back.Text(e.nameEdit), form.Text(e.nameEdit)) << e.nameEdit;
        }
    }
}

TEST(EventBlock, AnAnswerOfOnesEverywhere) {
    MemoryForm form;
    ClearEventTab(form);
    for (const char* box : {"ReplyGPRS1", "ReplySMS3"}) form.SetChecked(box, true);
    const auto before = test::Snapshot(form);
    const test::Answer a = test::ReadAnswer(BlockId::Event, Bytes(4096, 0xFF), 0xFF);
    ASSERT_TRUE(DecodeEventBlock(form, a.View(), a.index));

    std::size_t names = 0, boxes = 0;
    for (const EventDef& e : EventCatalogue()) {
        if (!e.nameEdit.empty()) {
            EXPECT_EQ(form.Text(e.nameEdit), std::string(16, '\xFF')) << e.nameEdit;
            ++names;
        }
        for (const std::string& box : CheckBoxNames(e)) {
            if (e.code == kReplyCurrentCode) continue;
            EXPECT_TRUE(form.Checked(box)) << box;
            ++boxes;
        }
    }
    EXPECT_EQ(names, 52U);
    EXPECT_EQ(boxes, 554U - 5U);
    EXPECT_TRUE(form.Checked("ReplyGPRS1"));
    EXPECT_FALSE(form.Checked("ReplyGPRS2"));
    EXPECT_FALSE(form.Checked("ReplySMS1"));
    EXPECT_FALSE(form.Checked("ReplySMS2"));
    EXPECT_TRUE(form.Checked("ReplySMS3"));
    // Only the Event tab's names and boxes changed.
    const auto after = test::Snapshot(form);
    for (const auto& [name, value] : before) {
        const ControlDef* c = FindControl(name);
        if (c->tab == "TabSheet6" && (c->kind == ControlKind::Edit || c->kind == ControlKind::CheckBox)) continue;
        EXPECT_EQ(after.at(name), value) << name;
    }
}

TEST(EventBlock, ReplyCurrentBoxesAreNotDecodedButStillWritten) {
    MemoryForm form;
    Bytes data(4096, 0);
    const std::string name = "Where are you";
    std::copy(name.begin(), name.end(), data.begin() + 1088);
    const test::Answer a = test::ReadAnswer(BlockId::Event, data);
    ASSERT_TRUE(DecodeEventBlock(form, a.View(), a.index));
    EXPECT_EQ(form.Text("CurrentName"), name);
    for (const std::string& box : kReplyBoxes) EXPECT_TRUE(form.Checked(box)) << box;
    EXPECT_FALSE(form.Checked("IntervalGPRS1"));  // the disabled Interval boxes are decoded
    const Bytes written = Encoded(form);
    EXPECT_EQ(written[1104], 0x03);
    EXPECT_EQ(written[1105], 0x07);
    EXPECT_EQ(written[16], 0x00);
}

TEST(EventBlock, NeighbouringRecordsStayApart) {
    MemoryForm form;
    ClearEventTab(form);
    for (const std::string& box : CheckBoxNames(*FindEvent(41))) form.SetChecked(box, true);
    Bytes data(4096, 0);
    data[40 * 32 + 16] = 0x02;  // BrakeGPRS2
    data[40 * 32 + 20] = 0x01;  // BrakeOUT1
    const test::Answer a = test::ReadAnswer(BlockId::Event, data);
    ASSERT_TRUE(DecodeEventBlock(form, a.View(), a.index));
    for (const std::string& box : CheckBoxNames(*FindEvent(41))) EXPECT_FALSE(form.Checked(box)) << box;
    for (const std::string& box : CheckBoxNames(*FindEvent(40)))
        EXPECT_EQ(form.Checked(box), box == "BrakeGPRS2" || box == "BrakeOUT1") << box;
}

TEST(EventBlock, EveryBoxRoundTripsOnItsOwn) {
    for (const EventDef& e : EventCatalogue()) {
        for (const std::string& box : CheckBoxNames(e)) {
            MemoryForm form;
            ClearEventTab(form);
            form.SetChecked(box, true);
            TxPayload tx;
            EncodeEventBlock(form, tx);
            MemoryForm back;
            for (const EventDef& other : EventCatalogue())
                for (const std::string& b : CheckBoxNames(other)) back.SetChecked(b, true);
            const test::Answer a = test::AnswerFromWrite(BlockId::Event, tx);
            ASSERT_TRUE(DecodeEventBlock(back, a.View(), a.index));
            for (const EventDef& other : EventCatalogue()) {
                if (other.code == kReplyCurrentCode) continue;
                for (const std::string& b : CheckBoxNames(other))
                    ASSERT_EQ(back.Checked(b), b == box) << "set " << box << ", read " << b;
            }
        }
    }
}

TEST(EventBlock, AShortAnswerIsRefusedWithoutChanges) {
    MemoryForm form;
    const auto before = test::Snapshot(form);
    test::Answer a = test::ReadAnswer(BlockId::Event, Bytes(4096, 0xFF), 0xFF);
    a.bytes.resize(a.index + 4 + Block(BlockId::Event).dataUsed - 1);
    EXPECT_FALSE(DecodeEventBlock(form, a.View(), a.index));
    EXPECT_EQ(test::Changed(before, test::Snapshot(form)), "");
    a.bytes.push_back(0xFF);
    EXPECT_TRUE(DecodeEventBlock(form, a.View(), a.index));
    EXPECT_TRUE(form.Checked("LowSpeedOUT2"));
}

}  // namespace
}  // namespace quorvane
