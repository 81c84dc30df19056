// Reassembly of frames from the received byte stream. The port delivers bytes in
// blocks of its own cutting (at most 2048 bytes each); a frame may span several
// blocks, and one block may hold several frames or stray bytes around them.
//
// The scan looks at the start of the pending bytes and says one of three things:
//   frame      a complete frame with a valid CRC starts here,
//   need more  a frame may start here but its end has not arrived yet,
//   skip       no frame starts here (no header, a length beyond the largest
//              frame, or a CRC that does not match); drop bytes and look again.
// The length is capped before anything waits for it, and the CRC is checked last.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "blocks/payload.h"

namespace quorvane {

// The largest block the port delivers at once.
inline constexpr std::size_t kMaxReceiveBlock = 2048;

enum class ScanKind {
    Frame,     // `length` bytes form a valid frame
    NeedMore,  // wait for more bytes
    Skip,      // drop `length` bytes: no frame starts at any of them
};

enum class ScanReason {
    None,            // Frame, or nothing to look at
    NoHeader,        // the bytes do not start with 5A A5
    PartialHeader,   // too few bytes to read the header and length field
    BadLength,       // length 0 (no command byte) or a frame beyond kMaxFrameLength
    Incomplete,      // the header is whole, the rest of the frame is not
    CrcMismatch,     // the frame is whole but its CRC is wrong
};

struct ScanResult {
    ScanKind kind;
    ScanReason reason;
    std::size_t length;  // Frame: frame size; Skip: bytes to drop; NeedMore: bytes still missing (0 when unknown)
};

// Looks at `bytes` from their first byte.
ScanResult ScanFrame(std::span<const std::uint8_t> bytes);

class FrameAssembler {
public:
    // A frame plus a block: enough for a pending partial frame and the next block.
    static constexpr std::size_t kCapacity = kMaxFrameLength + kMaxReceiveBlock;

    // Appends as many of `data`'s bytes as there is room for and returns how many.
    // Room for a whole block is always there once NextFrame has returned nothing.
    std::size_t Append(std::span<const std::uint8_t> data);

    // Takes the next complete valid frame out of the pending bytes, dropping the
    // stray bytes before it. nullopt when no complete frame is pending.
    //
    // A header whose frame is still incomplete is given up when a complete valid
    // frame starts later inside the bytes it claims: stray bytes that happen to read
    // as a header ("5A A5 0F 00") would otherwise hold back the real answer until
    // thousands of bytes had arrived. The price is that a frame hidden inside a
    // longer frame's payload, with a matching CRC of its own, is taken for real.
    std::optional<std::vector<std::uint8_t>> NextFrame();

    // The start-up text rule. Each received block is shown here before its bytes are
    // appended; TakeModelSeen, asked once the block has been handled, is true when
    // the block holds the text "Model" (also split from the end of the block before)
    // and no valid frame was taken since. Where the text sits does not matter: a
    // tracker that reboots in the middle of a long answer prints its banner inside
    // the bytes the unfinished frame still claims.
    void NoteBlock(std::span<const std::uint8_t> block);
    bool TakeModelSeen();

    // Drops every pending byte (a new request makes them stale).
    void Clear();

    std::span<const std::uint8_t> Pending() const { return {bytes_.data(), length_}; }
    // Length field of the last frame taken.
    std::uint16_t LastFrameLength() const { return lastFrameLength_; }

private:
    void Drop(std::size_t count);
    // Where the first complete valid frame starts inside the first `claimed`
    // pending bytes, not counting the frame that would start at 0.
    std::optional<std::size_t> LaterFrameInside(std::size_t claimed);

    std::array<std::uint8_t, kCapacity> bytes_{};
    // Per pending byte: true when a header there was already found complete and
    // invalid, so its checksum is never computed twice while it waits in the buffer.
    std::array<bool, kCapacity> knownBad_{};
    std::size_t length_ = 0;
    std::uint16_t lastFrameLength_ = 0;
    // The end of the last block, for a "Model" text split between two blocks.
    std::array<std::uint8_t, 4> blockTail_{};
    std::size_t blockTailLength_ = 0;
    bool modelInBlock_ = false;
    bool frameSinceBlock_ = false;
};

}  // namespace quorvane
