// The tracker's parameter blocks: where each lives, its read request, and the
// write request header every encoder builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "blocks/payload.h"

namespace quorvane {

enum class BlockId { Gprs, DeviceId, Main, MainExt, Interface, Temperature, Sms, GeoFence, Event };

struct BlockInfo {
    BlockId id;
    std::uint8_t area;
    std::uint16_t readOffset, readLength, writeOffset, writeLength;
    std::uint16_t dataUsed;  // data bytes of a read answer the decoder reads
};

// Payload offset of the data in read answers and write requests: area, offset, length.
inline constexpr std::size_t kBlockHeaderLength = 5;

const BlockInfo& Block(BlockId id);

// Clears `tx` and puts the block's five-byte read request into it.
void BuildReadRequest(BlockId id, TxPayload& tx);

// Write request: BeginWriteRequest clears `tx` and appends area, offset (MSB first)
// and two placeholder bytes; the encoder appends the data; FinishWriteRequest puts
// the data length into bytes 3 and 4, MSB first.
void BeginWriteRequest(TxPayload& tx, std::uint8_t area, std::uint16_t offset);
void BeginWriteRequest(TxPayload& tx, BlockId id);
void FinishWriteRequest(TxPayload& tx);

// True when a read answer of block `id`, whose area-offset field is at `index` of
// `answer`, holds every data byte its decoder reads.
bool AnswerHoldsBlock(BlockId id, std::span<const std::uint8_t> answer, std::size_t index);

}  // namespace quorvane
