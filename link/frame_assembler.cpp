#include "link/frame_assembler.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "link/frame.h"

namespace quorvane {

namespace {

constexpr std::string_view kModelText = "Model";

std::uint16_t LengthField(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint16_t>(bytes[2] << 8 | bytes[3]);
}

}  // namespace

ScanResult ScanFrame(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return {ScanKind::NeedMore, ScanReason::None, 0};
    if (bytes[0] != kFrameHeader1) {
        // Nothing up to the next possible header byte can start a frame.
        const auto next = std::find(bytes.begin() + 1, bytes.end(), kFrameHeader1);
        return {ScanKind::Skip, ScanReason::NoHeader,
                static_cast<std::size_t>(next - bytes.begin())};
    }
    if (bytes.size() < 2) return {ScanKind::NeedMore, ScanReason::PartialHeader, 0};
    if (bytes[1] != kFrameHeader2) return {ScanKind::Skip, ScanReason::NoHeader, 1};
    if (bytes.size() < 4) return {ScanKind::NeedMore, ScanReason::PartialHeader, 0};

    const std::size_t length = LengthField(bytes);
    const std::size_t total = length + 6;
    if (length == 0 || total > kMaxFrameLength) return {ScanKind::Skip, ScanReason::BadLength, 1};
    if (bytes.size() < total) {
        return {ScanKind::NeedMore, ScanReason::Incomplete, total - bytes.size()};
    }

    const std::uint16_t crc = Crc16(bytes.first(4 + length));
    if (bytes[4 + length] != (crc >> 8) || bytes[5 + length] != (crc & 0xFF)) {
        return {ScanKind::Skip, ScanReason::CrcMismatch, 1};
    }
    return {ScanKind::Frame, ScanReason::None, total};
}

std::size_t FrameAssembler::Append(std::span<const std::uint8_t> data) {
    const std::size_t count = std::min(data.size(), kCapacity - length_);
    std::copy_n(data.begin(), count, bytes_.begin() + static_cast<std::ptrdiff_t>(length_));
    length_ += count;
    return count;
}

std::optional<std::vector<std::uint8_t>> FrameAssembler::NextFrame() {
    for (;;) {
        const ScanResult scan = ScanFrame(Pending());
        switch (scan.kind) {
        case ScanKind::Frame: {
            std::vector<std::uint8_t> frame(bytes_.begin(),
                                            bytes_.begin() + static_cast<std::ptrdiff_t>(scan.length));
            lastFrameLength_ = LengthField(frame);
            Drop(scan.length);
            // A frame separates the text before it from the text after it.
            frameSinceBlock_ = true;
            blockTailLength_ = 0;
            return frame;
        }
        case ScanKind::Skip:
            Drop(scan.length);
            break;
        case ScanKind::NeedMore:
            // A header whose claimed length swallows a complete valid frame is stray:
            // drop everything before that frame.
            if (scan.reason == ScanReason::Incomplete) {
                if (const auto later = LaterFrameInside(length_)) {
                    Drop(*later);
                    break;
                }
            }
            return std::nullopt;
        }
    }
}

std::optional<std::size_t> FrameAssembler::LaterFrameInside(std::size_t claimed) {
    const std::span<const std::uint8_t> pending = Pending().first(claimed);
    for (std::size_t i = 1; i + 1 < pending.size(); ++i) {
        if (pending[i] != kFrameHeader1 || knownBad_[i]) continue;
        const ScanResult scan = ScanFrame(pending.subspan(i));
        if (scan.kind == ScanKind::Frame) return i;
        // Complete but invalid stays invalid: remember it. An incomplete header costs
        // no checksum and is looked at again when more bytes have come.
        if (scan.kind == ScanKind::Skip && scan.reason != ScanReason::NoHeader) knownBad_[i] = true;
    }
    return std::nullopt;
}

void FrameAssembler::NoteBlock(std::span<const std::uint8_t> block) {
    if (block.empty()) return;
    std::vector<std::uint8_t> run(blockTail_.begin(),
                                  blockTail_.begin() + static_cast<std::ptrdiff_t>(blockTailLength_));
    run.insert(run.end(), block.begin(), block.end());
    const std::string_view text(reinterpret_cast<const char*>(run.data()), run.size());
    modelInBlock_ = text.find(kModelText) != std::string_view::npos;
    frameSinceBlock_ = false;
    blockTailLength_ = std::min(run.size(), blockTail_.size());
    std::copy(run.end() - static_cast<std::ptrdiff_t>(blockTailLength_), run.end(), blockTail_.begin());
}

bool FrameAssembler::TakeModelSeen() {
    const bool seen = modelInBlock_ && !frameSinceBlock_;
    modelInBlock_ = false;
    return seen;
}

void FrameAssembler::Clear() {
    std::fill_n(knownBad_.begin(), length_, false);
    length_ = 0;
    blockTailLength_ = 0;
    modelInBlock_ = false;
}

void FrameAssembler::Drop(std::size_t count) {
    count = std::min(count, length_);
    std::memmove(bytes_.data(), bytes_.data() + count, length_ - count);
    std::copy(knownBad_.begin() + static_cast<std::ptrdiff_t>(count),
              knownBad_.begin() + static_cast<std::ptrdiff_t>(length_), knownBad_.begin());
    std::fill(knownBad_.begin() + static_cast<std::ptrdiff_t>(length_ - count),
              knownBad_.begin() + static_cast<std::ptrdiff_t>(length_), false);
    length_ -= count;
}

}  // namespace quorvane
