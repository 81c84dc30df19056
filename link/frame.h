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
#include <optional>
#include <span>
#include <vector>

#include "blocks/memory_map.h"
#include "blocks/payload.h"

namespace quorvane {

inline constexpr std::uint8_t kFrameHeader1 = 0x5A;
inline constexpr std::uint8_t kFrameHeader2 = 0xA5;
// Header (2), length (2), command (1) and CRC (2) around the payload.
inline constexpr std::size_t kFrameOverhead = 7;

// A frame's bytes read by field. Constructed over a complete frame (header to CRC);
// a shorter span gives no command and an empty payload. The view does not own the
// bytes.
//
// Block requests and answers carry area, offset (2) and length (2) before their
// data; a write answer carries area and status; the other answers a status first.
// The connect request carries 01 and the authorization code (4, LSB first); the
// connect answer its result at payload offset 1 and the device texts from offset 5.
class FrameView {
public:
    // Positions inside a frame.
    static constexpr std::size_t kLengthAt = 2;
    static constexpr std::size_t kCommandAt = 4;
    static constexpr std::size_t kPayloadAt = 5;
    // The block offset field after the area: where block decoders read an answer.
    static constexpr std::size_t kBlockOffsetAt = kPayloadAt + 1;
    // Header and length field: what must be there to know the frame's size.
    static constexpr std::size_t kHeaderSize = 4;

    explicit FrameView(std::span<const std::uint8_t> frame) : bytes_(frame) {}

    // The length field of `bytes` that start with a header; nullopt when fewer than
    // kHeaderSize bytes are there.
    static std::optional<std::uint16_t> LengthFieldOf(std::span<const std::uint8_t> bytes);
    // The frame size a length field announces.
    static constexpr std::size_t SizeFor(std::uint16_t lengthField) { return lengthField + std::size_t{6}; }
    // True when the last two bytes of `frame` are the CRC of the bytes before them.
    static bool CrcMatches(std::span<const std::uint8_t> frame);

    std::span<const std::uint8_t> Bytes() const { return bytes_; }
    bool HasCommand() const { return bytes_.size() > kCommandAt; }
    bool Whole() const { return bytes_.size() >= kFrameOverhead; }
    std::uint8_t Command() const { return HasCommand() ? bytes_[kCommandAt] : std::uint8_t{0}; }
    std::uint16_t LengthField() const { return LengthFieldOf(bytes_).value_or(0); }
    // Between the command byte and the CRC.
    std::span<const std::uint8_t> Payload() const;
    // Header to the end of the payload, without the CRC: what block decoders are given.
    std::span<const std::uint8_t> WithoutCrc() const;

    // Block requests and answers.
    std::optional<std::uint8_t> Area() const { return PayloadByte(0); }
    std::optional<std::uint16_t> BlockOffset() const { return PayloadWord(1); }
    std::optional<std::uint16_t> BlockLength() const { return PayloadWord(3); }
    // The data after the block header; empty when the header is not whole.
    std::span<const std::uint8_t> BlockData() const;

    // The status of a one-shot command's answer.
    std::optional<std::uint8_t> Status() const { return PayloadByte(0); }
    // The status of a block write answer, after its area.
    std::optional<std::uint8_t> WriteStatus() const { return PayloadByte(1); }

    // The connect request's authorization code.
    std::optional<std::int32_t> AuthCode() const;
    // The connect answer: whether it holds its result, the result, and the device texts.
    std::optional<std::uint8_t> ConnectResult() const { return PayloadByte(1); }
    std::span<const std::uint8_t> DeviceInfo() const;

private:
    std::optional<std::uint8_t> PayloadByte(std::size_t at) const;
    std::optional<std::uint16_t> PayloadWord(std::size_t at) const;

    std::span<const std::uint8_t> bytes_;
};

// True when `answer` answers the read of `block`: the area, offset and length the
// request named, and exactly that many data bytes. The command is not looked at.
// A late repeat of another block's answer is not the answer; a repeat of an answer
// to the same block cannot be told from it.
bool AnswersRead(const FrameView& answer, const BlockInfo& block);

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

}  // namespace quorvane
