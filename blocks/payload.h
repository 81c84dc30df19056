// The single transmit payload buffer with its running length. Request builders and
// block encoders clear it and append to it; the frame layer wraps it into a frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvane {

// Sized for the largest frame the editor handles: the Event read answer, 4101 payload
// bytes in a 4108-byte frame.
inline constexpr std::size_t kMaxFrameLength = 4108;
inline constexpr std::size_t kBufferCapacity = kMaxFrameLength;
// The largest payload that fits one frame (header 4, command 1, CRC 2).
inline constexpr std::size_t kMaxPayloadLength = kBufferCapacity - 7;

struct TxPayload {
    std::array<std::uint8_t, kBufferCapacity> bytes{};
    std::uint16_t length = 0;
    // Set when an append did not fit; the payload must then not be sent.
    bool overflow = false;

    void Clear() {
        length = 0;
        overflow = false;
    }
    void Append(std::uint8_t byte) {
        if (length >= kMaxPayloadLength) {
            overflow = true;
            return;
        }
        bytes[length++] = byte;
    }
    void Append(std::span<const std::uint8_t> data) {
        for (std::uint8_t b : data) Append(b);
    }
    std::span<const std::uint8_t> View() const { return {bytes.data(), length}; }
};

}  // namespace quorvane
