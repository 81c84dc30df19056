#include "blocks/memory_map.h"

#include <array>
#include <stdexcept>

namespace quorvane {

namespace {

// dataUsed ends at the last field a decoder reads: GPRS area offsets 16-260, Main
// 0-31, Main extension 478-480, Interface up to RS232_2, Temperature and GEO up to
// the eighth record's last field, Event up to the last record's output flags. The
// Device ID rule takes what the answer holds.
constexpr std::array<BlockInfo, 9> kBlocks{{
    {BlockId::Gprs, 1, 16, 255, 32, 229, 245},
    {BlockId::DeviceId, 1, 16, 15, 0, 0, 0},
    {BlockId::Main, 2, 0, 34, 0, 34, 32},
    {BlockId::MainExt, 2, 478, 32, 478, 3, 3},
    {BlockId::Interface, 2, 34, 156, 34, 156, 154},
    {BlockId::Temperature, 2, 190, 256, 190, 256, 252},
    {BlockId::Sms, 3, 0, 116, 0, 116, 102},
    {BlockId::GeoFence, 4, 0, 256, 0, 256, 253},
    {BlockId::Event, 5, 0, 4096, 0, 1856, 1845},
}};

}  // namespace

const BlockInfo& Block(BlockId id) {
    const auto i = static_cast<std::size_t>(id);
    if (i >= kBlocks.size()) throw std::out_of_range("unknown parameter block");
    return kBlocks[i];
}

void BuildReadRequest(BlockId id, TxPayload& tx) {
    const BlockInfo& b = Block(id);
    tx.Clear();
    tx.Append(b.area);
    tx.Append(static_cast<std::uint8_t>(b.readOffset >> 8));
    tx.Append(static_cast<std::uint8_t>(b.readOffset));
    tx.Append(static_cast<std::uint8_t>(b.readLength >> 8));
    tx.Append(static_cast<std::uint8_t>(b.readLength));
}

void BeginWriteRequest(TxPayload& tx, std::uint8_t area, std::uint16_t offset) {
    tx.Clear();
    tx.Append(area);
    tx.Append(static_cast<std::uint8_t>(offset >> 8));
    tx.Append(static_cast<std::uint8_t>(offset));
    tx.Append(0);
    tx.Append(0);
}

void BeginWriteRequest(TxPayload& tx, BlockId id) {
    const BlockInfo& b = Block(id);
    BeginWriteRequest(tx, b.area, b.writeOffset);
}

void FinishWriteRequest(TxPayload& tx) {
    const auto dataLength = static_cast<std::uint16_t>(tx.length - kBlockHeaderLength);
    tx.bytes[3] = static_cast<std::uint8_t>(dataLength >> 8);
    tx.bytes[4] = static_cast<std::uint8_t>(dataLength);
}

bool AnswerHoldsBlock(BlockId id, std::span<const std::uint8_t> answer, std::size_t index) {
    const std::size_t need = 4U + Block(id).dataUsed;
    return index <= answer.size() && answer.size() - index >= need;
}

}  // namespace quorvane
