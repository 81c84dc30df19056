// Reads parameter blocks from the tracker into memory without touching the window:
// the reads behind a backup, a verification and a compare with the tracker. It shares
// the window's port and clock: while it runs, the window logic hands it every
// received byte and every one-second tick.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <map>

#include "blocks/memory_map.h"
#include "link/frame.h"
#include "link/frame_assembler.h"

namespace quorvane {

class TrafficRecorder;

// Read answers as received (frame header to the end of the payload, no CRC), by block.
using ReadAnswers = std::map<BlockId, std::vector<std::uint8_t>>;

class BlockReader {
public:
    BlockReader(FrameWriter write, std::vector<BlockId> blocks);

    // Sends the first read request.
    void Start();
    void Receive(std::span<const std::uint8_t> bytes);
    // Frames found, CRC errors and stray runs of the answers go to `recorder` while
    // it is enabled (the sender records the requests).
    void SetTraffic(TrafficRecorder* recorder) { rx_.SetTraffic(recorder); }
    // The one-second tick: an answer missing for kReplyTimeout ticks ends the read.
    void Tick();

    bool Done() const { return done_; }
    // Empty when every block was read; otherwise why not ("Read Overtime!",
    // "Read Error!").
    const std::string& Error() const { return error_; }
    const ReadAnswers& Answers() const { return answers_; }
    const std::vector<BlockId>& Blocks() const { return blocks_; }

private:
    void SendNext();
    void OnFrame(const std::vector<std::uint8_t>& frame);
    void Fail(std::string error);

    FrameWriter write_;
    std::vector<BlockId> blocks_;
    std::size_t next_ = 0;  // index of the block awaited
    std::uint8_t timeout_ = 0;
    bool done_ = false;
    std::string error_;
    ReadAnswers answers_;
    TxPayload tx_;
    FrameBuffer frame_{};
    FrameAssembler rx_;
};

}  // namespace quorvane
