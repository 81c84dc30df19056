#include "link/frame_assembler.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "link/frame.h"
#include "link/traffic.h"

namespace quorvane {

namespace {

constexpr std::string_view kModelText = "Model";

// The length field of bytes known to hold a whole header.
std::uint16_t LengthField(std::span<const std::uint8_t> bytes) { return *FrameView::LengthFieldOf(bytes); }

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
    const auto lengthField = FrameView::LengthFieldOf(bytes);
    if (!lengthField) return {ScanKind::NeedMore, ScanReason::PartialHeader, 0};

    const std::size_t length = *lengthField;
    const std::size_t total = FrameView::SizeFor(*lengthField);
    if (length == 0 || total > kMaxFrameLength) return {ScanKind::Skip, ScanReason::BadLength, 1};
    if (bytes.size() < total) {
        return {ScanKind::NeedMore, ScanReason::Incomplete, total - bytes.size()};
    }

    if (!FrameView::CrcMatches(bytes.first(total))) return {ScanKind::Skip, ScanReason::CrcMismatch, 1};
    return {ScanKind::Frame, ScanReason::None, total};
}

bool EndsWithCompleteFrame(std::span<const std::uint8_t> bytes) {
    bool frame = false;
    while (!bytes.empty()) {
        const ScanResult scan = ScanFrame(bytes);
        if (scan.kind == ScanKind::NeedMore) return false;
        frame = frame || scan.kind == ScanKind::Frame;
        bytes = bytes.subspan(scan.length);
    }
    return frame;
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
            if (Tracing()) {
                FlushTraffic();
                traffic_->RecordFrame(TrafficDirection::Received, frame);
                strayMuted_ = 0;
            }
            Drop(scan.length);
            // A frame separates the text before it from the text after it.
            frameSinceBlock_ = true;
            blockTailLength_ = 0;
            return frame;
        }
        case ScanKind::Skip:
            if (Tracing()) {
                if (scan.reason == ScanReason::CrcMismatch && strayMuted_ == 0) {
                    FlushTraffic();
                    const std::size_t total = FrameView::SizeFor(LengthField(Pending()));
                    traffic_->RecordCrcError(TrafficDirection::Received, Pending().first(total));
                    strayMuted_ = total;
                }
                CollectStray(Pending().first(std::min(scan.length, length_)));
            }
            Drop(scan.length);
            break;
        case ScanKind::NeedMore:
            // A header whose claimed length swallows a complete valid frame is stray:
            // drop everything before that frame.
            if (scan.reason == ScanReason::Incomplete) {
                if (const auto later = LaterFrameInside(length_)) {
                    if (Tracing()) CollectStray(Pending().first(*later));
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

bool FrameAssembler::Tracing() const { return traffic_ != nullptr && traffic_->Enabled(); }

void FrameAssembler::FlushTraffic() {
    if (strayRunLength_ > 0 && Tracing()) {
        traffic_->RecordStray(TrafficDirection::Received, strayRun_, strayRunLength_);
    }
    strayRun_.clear();
    strayRunLength_ = 0;
}

void FrameAssembler::CollectStray(std::span<const std::uint8_t> bytes) {
    const std::size_t muted = std::min(strayMuted_, bytes.size());
    strayMuted_ -= muted;
    const auto rest = bytes.subspan(muted);
    strayRunLength_ += rest.size();
    const std::size_t room = TrafficRecorder::kMaxRowBytes - std::min(strayRun_.size(), TrafficRecorder::kMaxRowBytes);
    strayRun_.insert(strayRun_.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(std::min(room, rest.size())));
}

void FrameAssembler::Clear() {
    if (Tracing()) {
        // Bytes dropped unanswered are stray too.
        CollectStray(Pending());
        FlushTraffic();
    }
    strayMuted_ = 0;
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
