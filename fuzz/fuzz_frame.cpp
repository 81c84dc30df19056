// Frame finding and reassembly fed arbitrary block sequences.
//
// Input: blocks of [flags][length (2)][bytes]; flags bit 0 clears the assembler
// first (a new request), bits 1-7 are not used.
//
// Properties: every frame taken is valid, lies in the stream right after the bytes
// dropped before it and is taken once; nothing is left pending that holds a
// complete valid frame; a whole block always fits after the assembler ran dry;
// ScanFrame and the frame view agree with the reference and read nothing outside
// their input (each block sits in a buffer of its exact size).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/frame_reference.h"
#include "fuzz/fuzz_input.h"
#include "link/frame.h"
#include "link/frame_assembler.h"

using namespace quorvane;
using quorvane::fuzz::Input;
using quorvane::fuzz::IsValidFrame;
using quorvane::fuzz::ValidFrameAt;

namespace {

// Every field of the view over any bytes stays inside them; over a valid frame the
// length field, payload and CRC agree with the reference.
void CheckView(std::span<const std::uint8_t> block) {
    const FrameView any(block);
    std::size_t touched = any.Payload().size() + any.WithoutCrc().size() + any.BlockData().size() +
                          any.DeviceInfo().size() + any.LengthField() + any.Command();
    for (const auto field : {any.Area(), any.Status(), any.WriteStatus(), any.ConnectResult()}) touched += field.value_or(0);
    for (const auto field : {any.BlockOffset(), any.BlockLength()}) touched += field.value_or(0);
    touched += static_cast<std::size_t>(any.AuthCode().value_or(0) & 1);
    (void)touched;

    const std::size_t valid = ValidFrameAt(block, 0, false);
    if (valid == 0) return;
    const auto frame = block.first(valid);
    const FrameView view(frame);
    QV_CHECK(FrameView::CrcMatches(frame), "the view refuses a valid frame's CRC");
    QV_CHECK(FrameView::SizeFor(view.LengthField()) == valid, "the length field does not give the frame's size");
    QV_CHECK(view.Payload().size() + kFrameOverhead == valid, "the payload is not the frame less its overhead");
}

void CheckScan(std::span<const std::uint8_t> bytes) {
    const ScanResult r = ScanFrame(bytes);
    switch (r.kind) {
    case ScanKind::Frame:
        QV_CHECK(ValidFrameAt(bytes, 0) == r.length, "ScanFrame: Frame of the wrong size");
        break;
    case ScanKind::Skip:
        QV_CHECK(r.length >= 1 && r.length <= bytes.size(), "ScanFrame: skip outside the bytes");
        for (std::size_t i = 0; i < r.length; ++i)
            QV_CHECK(ValidFrameAt(bytes, i) == 0, "ScanFrame skips a valid frame at " + std::to_string(i));
        break;
    case ScanKind::NeedMore:
        QV_CHECK(ValidFrameAt(bytes, 0) == 0, "ScanFrame waits in front of a complete frame");
        if (r.length != 0)
            QV_CHECK(bytes.size() >= 4 && bytes.size() + r.length ==
                         static_cast<std::size_t>(bytes[2] << 8 | bytes[3]) + 6,
                     "ScanFrame: wrong count of missing bytes");
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    FrameAssembler assembler;
    std::vector<std::uint8_t> stream;  // everything appended since the last clear
    std::size_t pendingStart = 0;      // stream index of Pending()[0]
    bool dry = true;                   // NextFrame has returned nothing since the last append

    while (!in.Empty()) {
        const std::uint8_t flags = in.Byte();
        const std::size_t want = in.Word() % (kMaxReceiveBlock + 1);
        const std::vector<std::uint8_t> bytes = in.Bytes(want);
        // The block in a buffer of its own exact size.
        std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + 1]);
        if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
        const std::span<const std::uint8_t> block(exact.get(), bytes.size());

        CheckView(block);
        CheckScan(block);

        if (flags & 1) {
            assembler.Clear();
            stream.clear();
            pendingStart = 0;
            dry = true;
        }
        const std::size_t taken = assembler.Append(block);
        QV_CHECK(taken <= block.size(), "Append took more than it was given");
        if (dry) QV_CHECK(taken == block.size(), "a whole block did not fit after the assembler ran dry");
        stream.insert(stream.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(taken));

        for (;;) {
            const std::size_t before = pendingStart;
            auto frame = assembler.NextFrame();
            pendingStart = stream.size() - assembler.Pending().size();
            QV_CHECK(pendingStart >= before, "the assembler took back bytes it had dropped");
            QV_CHECK(std::equal(assembler.Pending().begin(), assembler.Pending().end(),
                                stream.begin() + static_cast<std::ptrdiff_t>(pendingStart)),
                     "pending bytes are not the rest of the stream");
            if (!frame) {
                dry = true;
                const auto pending = assembler.Pending();
                for (std::size_t i = 0; i < pending.size(); ++i)
                    QV_CHECK(ValidFrameAt(pending, i) == 0,
                             "a complete frame stays pending at " + std::to_string(i));
                break;
            }
            dry = false;
            QV_CHECK(IsValidFrame(*frame), "NextFrame returned an invalid frame");
            QV_CHECK(frame->size() <= pendingStart - before, "a frame overlaps bytes taken earlier");
            QV_CHECK(std::equal(frame->begin(), frame->end(),
                                stream.begin() + static_cast<std::ptrdiff_t>(pendingStart - frame->size())),
                     "the frame is not the bytes right before the pending ones");
            QV_CHECK(assembler.LastFrameLength() == frame->size() - 6, "LastFrameLength is not the frame's");
        }
        (void)assembler.TakeModelSeen();
    }
    return 0;
}
