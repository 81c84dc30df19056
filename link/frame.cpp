#include "link/frame.h"

#include <algorithm>

namespace quorvane {

std::uint16_t Crc16Update(std::uint16_t crc, std::uint8_t byte) {
    auto t = static_cast<std::uint8_t>((crc >> 8) ^ byte);
    std::uint16_t c = 0;
    for (int bit = 0; bit < 8; ++bit) {
        c = (c & 0x8000) ? static_cast<std::uint16_t>((c << 1) ^ 0x1021)
                         : static_cast<std::uint16_t>(c << 1);
        if (t & 0x80) c ^= 0x1021;
        t = static_cast<std::uint8_t>(t << 1);
    }
    return static_cast<std::uint16_t>((crc << 8) ^ c);
}

// The same checksum a byte at a time from a table: what Crc16Update computes from
// (crc >> 8) ^ byte depends on that value alone.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (int i = 0; i < 256; ++i) t[static_cast<std::size_t>(i)] = Crc16Update(0, static_cast<std::uint8_t>(i));
        return t;
    }();
    for (std::uint8_t b : bytes) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ b) & 0xFF]);
    }
    return crc;
}

std::size_t BuildFrame(std::uint8_t command, std::span<const std::uint8_t> payload,
                       std::span<std::uint8_t> out) {
    const std::size_t n = payload.size();
    if (n > 0xFFFE || n + kFrameOverhead > out.size()) return 0;
    const auto length = static_cast<std::uint16_t>(n + 1);
    out[0] = kFrameHeader1;
    out[1] = kFrameHeader2;
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length & 0xFF);
    out[4] = command;
    std::copy(payload.begin(), payload.end(), out.begin() + 5);
    const std::uint16_t crc = Crc16(out.first(n + 5));
    out[n + 5] = static_cast<std::uint8_t>(crc >> 8);
    out[n + 6] = static_cast<std::uint8_t>(crc & 0xFF);
    return n + kFrameOverhead;
}

std::vector<std::uint8_t> MakeFrame(std::uint8_t command, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame(payload.size() + kFrameOverhead);
    frame.resize(BuildFrame(command, payload, frame));
    return frame;
}

void SendCommand(const TxPayload& payload, std::uint8_t command, FrameBuffer& frame,
                 const FrameWriter& write) {
    if (payload.overflow) return;
    const std::size_t size = BuildFrame(command, payload.View(), frame);
    if (size == 0 || !write) return;
    write(frame.data(), static_cast<std::uint16_t>(size));
}

std::uint16_t FindFrame(std::span<const std::uint8_t> rx, std::uint16_t start,
                        std::uint16_t& lastFrameLength) {
    // Indices are 16-bit on this link; a longer view is looked at up to 65535 bytes.
    const std::size_t received = std::min<std::size_t>(rx.size(), 0xFFFF);
    if (received < 6) return 0;
    if (start > received - 5) return 0;
    std::size_t i = start;
    while (i <= received - 5 && !(rx[i] == kFrameHeader1 && rx[i + 1] == kFrameHeader2)) ++i;
    if (i > received - 5) return 0;
    const std::uint16_t length = static_cast<std::uint16_t>(rx[i + 2] << 8 | rx[i + 3]);
    lastFrameLength = length;
    if (i + length + 6 > received) return 0;
    const std::uint16_t crc = Crc16(rx.subspan(i, 4 + length));
    if (rx[i + 4 + length] == (crc >> 8) && rx[i + 5 + length] == (crc & 0xFF)) {
        return static_cast<std::uint16_t>(i + 4);
    }
    return 0;
}

int ReverseBytes(const std::uint8_t* source, std::uint8_t* destination, int count) {
    if (count < 1) return 0;
    for (int k = 0; k < count; ++k) destination[k] = source[count - 1 - k];
    return count;
}

}  // namespace quorvane
