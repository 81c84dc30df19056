// The receive thread: waits for bytes, cuts them into blocks by the read time-outs
// and posts each block, line events and a hang-up to the owner.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <thread>
#include <vector>

#include "serial/comm_backend.h"
#include "serial/comm_notify.h"

namespace quorvane {

// Says whether the bytes of a block gathered so far are complete, so the block can
// be handed over without waiting for the interval time-out. Called on the receive
// thread; it must not touch the owner's state.
using BlockEnd = std::function<bool(std::span<const std::uint8_t> block)>;

// The read time-outs (ms) and options the receive thread follows; the owner's
// thread may change them at any time, except blockEnd, which is fixed while open.
struct ReadOptions {
    std::atomic<std::uint32_t> intervalTimeout{100};
    std::atomic<std::uint32_t> totalMultiplier{0};
    std::atomic<std::uint32_t> totalConstant{0};
    std::atomic<bool> ignoreNullChar{false};
    BlockEnd blockEnd;
};

class TReadThread {
public:
    static constexpr std::size_t kBlockSize = 2048;
    // How often an idle port is asked for line errors and modem changes, where it
    // can report them.
    static constexpr int kLineCheckMs = 100;
    // An interval time-out of this value ends a block with the bytes already there.
    static constexpr std::uint32_t kNoInterval = 0xFFFFFFFF;

    TReadThread(CommBackend& port, const ReadOptions& options, CommNotify& notify);
    ~TReadThread();  // raises the port's stop signal and waits for the end
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;

    void Start();  // throws std::system_error when no thread can be made
    void Join();   // after the port's stop signal; returns once the thread ended

private:
    void Execute();
    int NextWait(std::chrono::steady_clock::time_point blockStart) const;
    // Asks blockEnd about the block so far, behind the full blocks of the same burst.
    bool BlockComplete(const std::uint8_t* data, std::size_t count);
    void KeepBurst(const std::uint8_t* data, std::size_t count);
    void HandOver(const std::uint8_t* data, std::size_t count);
    void ReportLineEvents();

    CommBackend& port_;
    const ReadOptions& options_;
    CommNotify& notify_;
    std::thread thread_;
    // Full blocks handed over without a pause since, at most kBurstLimit bytes: what
    // blockEnd sees before the current block.
    static constexpr std::size_t kBurstLimit = 4 * kBlockSize;
    std::vector<std::uint8_t> burst_;
};

}  // namespace quorvane
