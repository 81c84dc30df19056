#include "blocks/memory_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "blocks/blocks.h"
#include "blocks/event_catalogue.h"

namespace quorvane {
namespace {

std::vector<std::uint8_t> Bytes(const TxPayload& tx) { return {tx.View().begin(), tx.View().end()}; }

TEST(ReadRequests, TheNineRowsOfTheMap) {
    const std::vector<std::pair<BlockId, std::vector<std::uint8_t>>> rows{
        {BlockId::Gprs, {0x01, 0x00, 0x10, 0x00, 0xFF}},
        {BlockId::DeviceId, {0x01, 0x00, 0x10, 0x00, 0x0F}},
        {BlockId::Main, {0x02, 0x00, 0x00, 0x00, 0x22}},
        {BlockId::MainExt, {0x02, 0x01, 0xDE, 0x00, 0x20}},
        {BlockId::Interface, {0x02, 0x00, 0x22, 0x00, 0x9C}},
        {BlockId::Temperature, {0x02, 0x00, 0xBE, 0x01, 0x00}},
        {BlockId::Sms, {0x03, 0x00, 0x00, 0x00, 0x74}},
        {BlockId::GeoFence, {0x04, 0x00, 0x00, 0x01, 0x00}},
        {BlockId::Event, {0x05, 0x00, 0x00, 0x10, 0x00}},
    };
    for (const auto& [id, expected] : rows) {
        TxPayload tx;
        tx.Append(0x99);  // left over from an earlier request
        BuildReadRequest(id, tx);
        EXPECT_EQ(Bytes(tx), expected) << static_cast<int>(id);
    }
}

TEST(WriteRequests, HeaderWithTheDataLengthMostSignificantFirst) {
    TxPayload tx;
    BeginWriteRequest(tx, 5, 0x0102);
    for (int i = 0; i < 300; ++i) tx.Append(0xAA);
    FinishWriteRequest(tx);
    ASSERT_EQ(tx.length, 305);
    EXPECT_EQ(tx.bytes[0], 5);
    EXPECT_EQ(tx.bytes[1], 0x01);
    EXPECT_EQ(tx.bytes[2], 0x02);
    EXPECT_EQ(tx.bytes[3], 0x01);
    EXPECT_EQ(tx.bytes[4], 0x2C);
}

// The extent each decoder is allowed to read must cover its layout exactly.
TEST(MemoryMap, DataUsedEndsAtTheLastDecodedField) {
    const std::vector<std::pair<BlockId, const BlockLayout*>> blocks{
        {BlockId::Gprs, &GprsBlockLayout()},           {BlockId::Main, &MainBlockLayout()},
        {BlockId::MainExt, &MainExtBlockLayout()},     {BlockId::Interface, &InterfaceBlockLayout()},
        {BlockId::Temperature, &TemperatureBlockLayout()}, {BlockId::Sms, &SmsBlockLayout()},
        {BlockId::GeoFence, &GeoFenceBlockLayout()},
    };
    for (const auto& [id, layout] : blocks) {
        const BlockInfo& b = Block(id);
        std::size_t end = 0;
        for (const FieldDef& f : *layout)
            if (f.kind != FieldKind::Zero) end = std::max<std::size_t>(end, f.offset + f.width - b.readOffset);
        EXPECT_EQ(b.dataUsed, end) << static_cast<int>(id);
        EXPECT_LE(b.dataUsed, b.readLength);
        EXPECT_EQ(b.id, id);
    }
    std::size_t eventEnd = 0;
    for (const EventDef& e : EventCatalogue()) {
        std::size_t last = e.nameEdit.empty() ? 0 : kEventNameWidth;
        for (int g = 0; g < kFlagGroupCount; ++g)
            if (e.Has(static_cast<FlagGroup>(g))) last = kEventFlagsOffset + static_cast<std::size_t>(g) + 1;
        eventEnd = std::max(eventEnd, kEventRecordLength * static_cast<std::size_t>(e.code) + last);
    }
    EXPECT_EQ(Block(BlockId::Event).dataUsed, eventEnd);
}

TEST(MemoryMap, AnswerExtentCheck) {
    std::vector<std::uint8_t> answer(10 + 4 + Block(BlockId::Main).dataUsed);
    EXPECT_TRUE(AnswerHoldsBlock(BlockId::Main, answer, 10));
    EXPECT_FALSE(AnswerHoldsBlock(BlockId::Main, answer, 11));
    EXPECT_FALSE(AnswerHoldsBlock(BlockId::Main, answer, answer.size() + 1));
    EXPECT_FALSE(AnswerHoldsBlock(BlockId::Main, answer, static_cast<std::size_t>(-1)));
}

}  // namespace
}  // namespace quorvane
