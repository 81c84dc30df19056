#include "link/block_reader.h"

#include <utility>

#include "link/commands.h"
#include "link/engine.h"

namespace quorvane {

BlockReader::BlockReader(FrameWriter write, std::vector<BlockId> blocks)
    : write_(std::move(write)), blocks_(std::move(blocks)) {}

void BlockReader::Start() {
    next_ = 0;
    done_ = blocks_.empty();
    error_.clear();
    answers_.clear();
    if (!done_) SendNext();
}

void BlockReader::SendNext() {
    BuildReadRequest(blocks_[next_], tx_);
    rx_.Clear();
    SendCommand(tx_, CmdReadBlock, frame_, write_);
    timeout_ = kReplyTimeout;
}

void BlockReader::Receive(std::span<const std::uint8_t> bytes) {
    while (!done_ && !bytes.empty()) {
        const std::size_t taken = rx_.Append(bytes);
        bytes = bytes.subspan(taken);
        while (!done_) {
            auto frame = rx_.NextFrame();
            if (!frame) break;
            OnFrame(*frame);
        }
        if (taken == 0 && !bytes.empty()) rx_.Clear();  // nothing fits: a frame too long to be ours
    }
    rx_.FlushTraffic();
}

void BlockReader::OnFrame(const std::vector<std::uint8_t>& frame) {
    const FrameView view(frame);
    const BlockId id = blocks_[next_];
    // An answer for another area or offset (a late answer to an earlier request, a
    // connect answer) is not ours.
    if (!view.BlockOffset() || *view.Area() != Block(id).area || *view.BlockOffset() != Block(id).readOffset)
        return;
    if (view.Command() != CmdReadBlock) {
        Fail("Read Error!");  // our read, answered with another command
        return;
    }
    // Another length, or data that does not fill it, is not this request's answer.
    if (!AnswersRead(view, Block(id))) return;
    const std::span<const std::uint8_t> answer = view.WithoutCrc();
    answers_[id] = std::vector<std::uint8_t>(answer.begin(), answer.end());
    if (++next_ == blocks_.size()) {
        timeout_ = 0;
        done_ = true;
        return;
    }
    SendNext();
}

void BlockReader::Tick() {
    if (done_ || timeout_ == 0) return;
    if (--timeout_ == 0) Fail("Read Overtime!");
}

void BlockReader::Fail(std::string error) {
    error_ = std::move(error);
    timeout_ = 0;
    done_ = true;
}

}  // namespace quorvane
