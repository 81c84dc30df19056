// The reads beside the window (backup, verification, compare) and Find.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/block_reader.h"
#include "app/find.h"
#include "app/memory_form.h"
#include "blocks/blocks.h"
#include "link/engine.h"
#include "link/frame.h"
#include "trust/write_safety.h"

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

// A read answer as the tracker sends it for `id`, holding `data` from the block's
// read offset (frame header up to the payload's end, no CRC).
std::vector<std::uint8_t> Answer(BlockId id, std::vector<std::uint8_t> data) {
    const BlockInfo& b = Block(id);
    data.resize(b.readLength, 0);
    std::vector<std::uint8_t> a = {0x5A, 0xA5, 0, 0, 0x59, b.area, static_cast<std::uint8_t>(b.readOffset >> 8),
                                   static_cast<std::uint8_t>(b.readOffset), static_cast<std::uint8_t>(b.readLength >> 8),
                                   static_cast<std::uint8_t>(b.readLength)};
    a.insert(a.end(), data.begin(), data.end());
    return a;
}

// The frame the tracker sends for a read answer (CRC included).
std::vector<std::uint8_t> AnswerFrame(BlockId id, std::uint8_t command = CmdReadBlock) {
    const std::vector<std::uint8_t> answer = Answer(id, {});
    return MakeFrame(command, std::span(answer).subspan(5));
}

TEST(BlockReader, ReadsItsBlocksInOrderAndTakesOnlyTheirAnswers) {
    std::vector<std::vector<std::uint8_t>> sent;
    BlockReader reader(
        [&](const std::uint8_t* data, std::uint16_t n) {
            sent.emplace_back(data, data + n);
            return true;
        },
        {BlockId::Main, BlockId::MainExt});
    reader.Start();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_FALSE(reader.Done());

    reader.Receive(AnswerFrame(BlockId::MainExt));  // same area, another offset: not the answer
    // The connect poll's answer (authorized, firmware text) is another request's.
    reader.Receive(MakeFrame(CmdConnect, std::vector<std::uint8_t>{0x01, 1, 0, 0, 0, 'V', '1', ','}));
    EXPECT_EQ(sent.size(), 1U);
    EXPECT_FALSE(reader.Done());
    const auto main = AnswerFrame(BlockId::Main);
    reader.Receive(std::span(main).first(9));  // in two parts
    reader.Receive(std::span(main).subspan(9));
    ASSERT_EQ(sent.size(), 2U);
    for (int k = 0; k < kReplyTimeout - 1; ++k) reader.Tick();
    reader.Receive(AnswerFrame(BlockId::MainExt));  // each answer restarts the time-out
    EXPECT_TRUE(reader.Done());
    EXPECT_TRUE(reader.Error().empty());
    EXPECT_EQ(reader.Answers().size(), 2U);

    MemoryForm form;
    DecodeAnswers(form, reader.Answers());
    EXPECT_EQ(form.Text("Speed"), "0");
}

TEST(BlockReader, EndsAtAWrongAnswerOrAfterTheTimeOut) {
    const FrameWriter discard = [](const std::uint8_t*, std::uint16_t) { return true; };
    BlockReader wrong(discard, {BlockId::Sms});
    wrong.Start();
    wrong.Receive(AnswerFrame(BlockId::Sms, CmdWriteBlock));  // its read, answered with another command
    EXPECT_TRUE(wrong.Done());
    EXPECT_EQ(wrong.Error(), "Read Error!");

    BlockReader shortAnswer(discard, {BlockId::Sms});
    shortAnswer.Start();
    shortAnswer.Receive(MakeFrame(CmdReadBlock, std::vector<std::uint8_t>{3, 0, 0, 0, 116, 1, 2}));
    EXPECT_EQ(shortAnswer.Error(), "Read Error!");

    BlockReader silent(discard, {BlockId::Sms});
    silent.Start();
    for (int k = 0; k < kReplyTimeout - 1; ++k) silent.Tick();
    EXPECT_FALSE(silent.Done());
    silent.Tick();
    EXPECT_TRUE(silent.Done());
    EXPECT_EQ(silent.Error(), "Read Overtime!");
}

}  // namespace
}  // namespace quorvane
