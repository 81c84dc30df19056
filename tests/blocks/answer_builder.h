// Builds read answers for the decoders, as the engine hands them over: bytes before
// the payload (frame header and command), area, offset, length, then the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "blocks/convert.h"
#include "blocks/memory_map.h"
#include "blocks/payload.h"
#include "link/commands.h"

namespace quorvane::test {

struct Answer {
    std::vector<std::uint8_t> bytes;
    std::size_t index = 0;  // the area-offset field
    std::span<const std::uint8_t> View() const { return bytes; }
};

// Bytes before the area byte: frame header, length and command.
inline constexpr std::size_t kLeadIn = 5;

// A full read answer of block `id` holding `data` from the block's read offset,
// padded with `fill` to the read length.
inline Answer ReadAnswer(BlockId id, std::span<const std::uint8_t> data, std::uint8_t fill = 0) {
    const BlockInfo& b = Block(id);
    Answer a;
    a.bytes = {0x5A, 0xA5, 0x00, 0x00, CmdReadBlock, b.area,
               static_cast<std::uint8_t>(b.readOffset >> 8), static_cast<std::uint8_t>(b.readOffset),
               static_cast<std::uint8_t>(b.readLength >> 8), static_cast<std::uint8_t>(b.readLength)};
    a.index = kLeadIn + 1;
    a.bytes.insert(a.bytes.end(), data.begin(), data.end());
    a.bytes.resize(a.index + 4 + b.readLength, fill);
    return a;
}

// The read answer a tracker would give after storing the write payload `tx`: the
// bytes the block reads before its write offset (the device identity of the GPRS
// block) are taken from `before`, zero when it is short.
inline Answer AnswerFromWrite(BlockId id, const TxPayload& tx, std::span<const std::uint8_t> before = {}) {
    const BlockInfo& b = Block(id);
    std::vector<std::uint8_t> data(b.writeOffset - b.readOffset, 0);
    for (std::size_t i = 0; i < data.size() && i < before.size(); ++i) data[i] = before[i];
    const auto written = tx.View().subspan(kBlockHeaderLength);
    data.insert(data.end(), written.begin(), written.end());
    return ReadAnswer(id, data);
}

// The data bytes of a write payload.
inline std::vector<std::uint8_t> Data(const TxPayload& tx) {
    const auto v = tx.View();
    if (v.size() < kBlockHeaderLength) return {};
    return {v.begin() + kBlockHeaderLength, v.end()};
}

// The message of the conversion error `encode` raises, or "no error".
std::string ConversionError(auto&& encode) {
    try {
        encode();
    } catch (const EConvertError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace quorvane::test
