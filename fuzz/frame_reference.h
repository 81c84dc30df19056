// An independent statement of what a valid frame is, for the fuzz targets to check
// the link code against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "blocks/payload.h"

namespace quorvane::fuzz {

inline std::uint16_t ReferenceCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= static_cast<std::uint16_t>(b << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// The size of the frame starting at `at`, or 0 when no complete frame with a
// matching CRC starts there. `capped`: frames beyond kMaxFrameLength do not count.
inline std::size_t ValidFrameAt(std::span<const std::uint8_t> bytes, std::size_t at, bool capped = true) {
    if (at + 4 > bytes.size() || bytes[at] != 0x5A || bytes[at + 1] != 0xA5) return 0;
    const std::size_t length = static_cast<std::size_t>(bytes[at + 2] << 8 | bytes[at + 3]);
    const std::size_t total = length + 6;
    if (length == 0 && capped) return 0;
    if (capped && total > kMaxFrameLength) return 0;
    if (at + total > bytes.size()) return 0;
    const std::uint16_t crc = ReferenceCrc(bytes.subspan(at, 4 + length));
    if (bytes[at + 4 + length] != (crc >> 8) || bytes[at + 5 + length] != (crc & 0xFF)) return 0;
    return total;
}

inline bool IsValidFrame(std::span<const std::uint8_t> frame) {
    return !frame.empty() && ValidFrameAt(frame, 0) == frame.size();
}

// How many positions of `bytes` start a valid frame.
inline std::size_t CountFrameStarts(std::span<const std::uint8_t> bytes) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 6 <= bytes.size(); ++i)
        if (bytes[i] == 0x5A && ValidFrameAt(bytes, i) != 0) ++count;
    return count;
}

}  // namespace quorvane::fuzz
