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

bool AnswersRead(const FrameView& answer, const BlockInfo& block) {
    return answer.Area() == block.area && answer.BlockOffset() == block.readOffset &&
           answer.BlockLength() == block.readLength && answer.BlockData().size() == block.readLength;
}

std::size_t BuildFrame(std::uint8_t command, std::span<const std::uint8_t> payload,
                       std::span<std::uint8_t> out) {
    const std::size_t n = payload.size();
    if (n > 0xFFFE || n + kFrameOverhead > out.size()) return 0;
    const auto length = static_cast<std::uint16_t>(n + 1);
    out[0] = kFrameHeader1;
    out[1] = kFrameHeader2;
    out[FrameView::kLengthAt] = static_cast<std::uint8_t>(length >> 8);
    out[FrameView::kLengthAt + 1] = static_cast<std::uint8_t>(length & 0xFF);
    out[FrameView::kCommandAt] = command;
    std::copy(payload.begin(), payload.end(), out.begin() + FrameView::kPayloadAt);
    const std::size_t crcAt = FrameView::kPayloadAt + n;
    const std::uint16_t crc = Crc16(out.first(crcAt));
    out[crcAt] = static_cast<std::uint8_t>(crc >> 8);
    out[crcAt + 1] = static_cast<std::uint8_t>(crc & 0xFF);
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

// --- the frame view ---------------------------------------------------------------

namespace {

// Payload offsets of the fields that are not the first payload byte.
constexpr std::size_t kBlockDataAt = 5;      // after area, offset (2) and length (2)
constexpr std::size_t kAuthCodeAt = 1;       // after the connect request's 01
constexpr std::size_t kAuthCodeSize = 4;
constexpr std::size_t kDeviceInfoAt = 5;     // the connect answer's device texts

}  // namespace

std::optional<std::uint16_t> FrameView::LengthFieldOf(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    return static_cast<std::uint16_t>(bytes[kLengthAt] << 8 | bytes[kLengthAt + 1]);
}

bool FrameView::CrcMatches(std::span<const std::uint8_t> frame) {
    if (frame.size() < 2) return false;
    const std::size_t at = frame.size() - 2;
    const std::uint16_t crc = Crc16(frame.first(at));
    return frame[at] == (crc >> 8) && frame[at + 1] == (crc & 0xFF);
}

std::span<const std::uint8_t> FrameView::Payload() const {
    if (!Whole()) return {};
    return bytes_.subspan(kPayloadAt, bytes_.size() - kFrameOverhead);
}

std::span<const std::uint8_t> FrameView::WithoutCrc() const {
    if (!Whole()) return {};
    return bytes_.first(bytes_.size() - 2);
}

std::span<const std::uint8_t> FrameView::BlockData() const {
    const auto payload = Payload();
    return payload.size() < kBlockDataAt ? std::span<const std::uint8_t>() : payload.subspan(kBlockDataAt);
}

std::optional<std::int32_t> FrameView::AuthCode() const {
    const auto payload = Payload();
    if (payload.size() < kAuthCodeAt + kAuthCodeSize) return std::nullopt;
    std::uint32_t code = 0;
    for (std::size_t k = kAuthCodeSize; k-- > 0;) code = code << 8 | payload[kAuthCodeAt + k];
    return static_cast<std::int32_t>(code);
}

std::span<const std::uint8_t> FrameView::DeviceInfo() const {
    const auto payload = Payload();
    return payload.size() <= kDeviceInfoAt ? std::span<const std::uint8_t>() : payload.subspan(kDeviceInfoAt);
}

std::optional<std::uint8_t> FrameView::PayloadByte(std::size_t at) const {
    const auto payload = Payload();
    if (at >= payload.size()) return std::nullopt;
    return payload[at];
}

std::optional<std::uint16_t> FrameView::PayloadWord(std::size_t at) const {
    const auto payload = Payload();
    if (at + 1 >= payload.size()) return std::nullopt;
    return static_cast<std::uint16_t>(payload[at] << 8 | payload[at + 1]);
}

}  // namespace quorvane
