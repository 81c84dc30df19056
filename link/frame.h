// The frame format of the tracker link, its CRC, and the send and find operations.
//
//   5A A5 | length (command + payload, MSB first) | command | payload | CRC (MSB first)
//
// The CRC is CRC-16/CCITT-FALSE over everything before it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "blocks/payload.h"

namespace quorvane {

inline constexpr std::uint8_t kFrameHeader1 = 0x5A;
inline constexpr std::uint8_t kFrameHeader2 = 0xA5;
// Header (2), length (2), command (1) and CRC (2) around the payload.
inline constexpr std::size_t kFrameOverhead = 7;

// The receive buffer: the bytes received and their count. Decoders read it by
// absolute index.
struct RxBuffer {
    std::array<std::uint8_t, kBufferCapacity> bytes{};
    std::uint16_t length = 0;
    std::span<const std::uint8_t> View() const { return {bytes.data(), length}; }
};

// The buffer in which an outgoing frame is assembled.
using FrameBuffer = std::array<std::uint8_t, kBufferCapacity>;

// Hands finished frame bytes to the port; returns false when they were not queued.
using FrameWriter = std::function<bool(const std::uint8_t* data, std::uint16_t count)>;

std::uint16_t Crc16Update(std::uint16_t crc, std::uint8_t byte);
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0xFFFF);

// Writes the frame for `command` and `payload` into `out`; returns the frame length,
// or 0 when it does not fit.
std::size_t BuildFrame(std::uint8_t command, std::span<const std::uint8_t> payload,
                       std::span<std::uint8_t> out);
// The same frame as a new vector.
std::vector<std::uint8_t> MakeFrame(std::uint8_t command, std::span<const std::uint8_t> payload);

// Wraps `payload` into a frame in `frame` and hands it to `write`. A frame that
// cannot be written is dropped silently; the reply time-out notices.
void SendCommand(const TxPayload& payload, std::uint8_t command, FrameBuffer& frame,
                 const FrameWriter& write);

// Looks for the first frame header in `rx` from `start` and checks that one frame.
// Returns the index of its command byte when it is complete and its CRC matches,
// otherwise 0. `lastFrameLength` takes the length field of the header found.
std::uint16_t FindFrame(std::span<const std::uint8_t> rx, std::uint16_t start,
                        std::uint16_t& lastFrameLength);

// Copies `count` bytes from `source` to `destination` in reverse order; returns
// count, or 0 (copying nothing) when count is below 1.
int ReverseBytes(const std::uint8_t* source, std::uint8_t* destination, int count);

}  // namespace quorvane
