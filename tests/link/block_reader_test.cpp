// The side read: blocks read into memory, one request at a time.
#include "link/block_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/memory_form.h"
#include "link/engine.h"
#include "link/groups.h"
#include "tests/blocks/answer_builder.h"

namespace quorvane {
namespace {

// The frame the tracker sends for a read answer of `id` (CRC included).
std::vector<std::uint8_t> AnswerFrame(BlockId id, std::uint8_t command = CmdReadBlock) {
    const test::Answer answer = test::ReadAnswer(id, {});
    return MakeFrame(command, std::span(answer.bytes).subspan(FrameView::kPayloadAt));
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
    for (const auto& [id, answer] : reader.Answers()) {
        EXPECT_TRUE(DecoderOf(id)(form, answer, FrameView::kBlockOffsetAt));
    }
    EXPECT_EQ(form.Text("Speed"), "0");
}

TEST(BlockReader, EndsAtAnotherCommandOrAfterTheTimeOutAndSetsOtherAnswersAside) {
    const FrameWriter discard = [](const std::uint8_t*, std::uint16_t) { return true; };
    BlockReader wrong(discard, {BlockId::Sms});
    wrong.Start();
    wrong.Receive(AnswerFrame(BlockId::Sms, CmdWriteBlock));  // its read, answered with another command
    EXPECT_TRUE(wrong.Done());
    EXPECT_EQ(wrong.Error(), "Read Error!");

    // Its area and offset, but another length (the Device ID's), or fewer data bytes
    // than its length says: not its answer. The answer that follows is.
    BlockReader setAside(discard, {BlockId::Gprs});
    setAside.Start();
    setAside.Receive(AnswerFrame(BlockId::DeviceId));
    setAside.Receive(MakeFrame(CmdReadBlock, std::vector<std::uint8_t>{1, 0, 16, 0, 255, 1, 2}));
    EXPECT_FALSE(setAside.Done());
    setAside.Receive(AnswerFrame(BlockId::Gprs));
    EXPECT_TRUE(setAside.Done());
    EXPECT_TRUE(setAside.Error().empty());

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
