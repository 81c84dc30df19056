#include "serial/read_thread.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace quorvane {

TReadThread::TReadThread(CommBackend& port, const ReadOptions& options, CommNotify& notify)
    : port_(port), options_(options), notify_(notify) {}

TReadThread::~TReadThread() {
    if (thread_.joinable()) port_.RaiseStop();
    Join();
}

void TReadThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TReadThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void TReadThread::Execute() {
    std::uint32_t errors = 0;
    std::uint32_t modemEvent = 0;
    const bool lineEvents = port_.LineEvents(errors, modemEvent);  // starting point
    std::vector<std::uint8_t> buffer(kBlockSize);
    for (;;) {
        // Wait for the first byte of a block.
        std::size_t filled = 0;
        CommStatus status =
            port_.Read(buffer.data(), kBlockSize, lineEvents ? kLineCheckMs : -1, filled);
        if (status == CommStatus::TimedOut) {
            ReportLineEvents();
            continue;
        }
        if (status != CommStatus::Ok) {
            if (status == CommStatus::Hangup) notify_.Hangup();
            break;
        }
        // Take further bytes until the gap time-out, the total time-out or a full block.
        const auto blockStart = std::chrono::steady_clock::now();
        while (filled < kBlockSize && status == CommStatus::Ok && !BlockComplete(buffer.data(), filled)) {
            std::size_t got = 0;
            status = port_.Read(buffer.data() + filled, kBlockSize - filled, NextWait(blockStart),
                                got);
            filled += got;
        }
        if (status == CommStatus::Stopped) break;
        // A block cut at full size may end inside something the next block completes.
        if (options_.blockEnd && filled == kBlockSize) {
            KeepBurst(buffer.data(), filled);
        } else {
            burst_.clear();
        }
        HandOver(buffer.data(), filled);
        if (status == CommStatus::Hangup) {
            notify_.Hangup();
            break;
        }
        if (lineEvents) ReportLineEvents();
    }
    port_.Purge(true, false);
}

// Read time-outs as the port's owner sets them: the interval limits the gap between
// two bytes, the total (multiplier per requested byte plus constant) the whole
// block, counted from its first byte; both 0 wait for a full block.
int TReadThread::NextWait(std::chrono::steady_clock::time_point blockStart) const {
    const std::uint32_t interval = options_.intervalTimeout;
    if (interval == kNoInterval) return 0;
    const long long total = static_cast<long long>(options_.totalMultiplier) *
                                static_cast<long long>(kBlockSize) +
                            options_.totalConstant;
    long long wait = interval == 0 ? -1LL : static_cast<long long>(interval);
    if (total != 0) {
        const long long elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - blockStart)
                                      .count();
        const long long left = std::max(0LL, total - elapsed);
        wait = wait < 0 ? left : std::min(wait, left);
    }
    return static_cast<int>(std::min<long long>(wait, INT_MAX));
}

bool TReadThread::BlockComplete(const std::uint8_t* data, std::size_t count) {
    if (!options_.blockEnd) return false;
    if (burst_.empty()) return options_.blockEnd(std::span(data, count));
    const std::size_t kept = burst_.size();
    burst_.insert(burst_.end(), data, data + count);
    const bool complete = options_.blockEnd(burst_);
    burst_.resize(kept);
    return complete;
}

void TReadThread::KeepBurst(const std::uint8_t* data, std::size_t count) {
    burst_.insert(burst_.end(), data, data + count);
    if (burst_.size() > kBurstLimit) {
        burst_.erase(burst_.begin(), burst_.end() - static_cast<std::ptrdiff_t>(kBurstLimit));
    }
}

void TReadThread::HandOver(const std::uint8_t* data, std::size_t count) {
    std::vector<std::uint8_t> block(data, data + count);
    if (options_.ignoreNullChar) std::erase(block, std::uint8_t{0});
    if (block.empty()) return;
    const auto length = static_cast<std::uint16_t>(block.size());
    block.push_back(0);
    notify_.Data(std::move(block), length);
}

void TReadThread::ReportLineEvents() {
    std::uint32_t errors = 0;
    std::uint32_t modemEvent = 0;
    if (!port_.LineEvents(errors, modemEvent)) return;
    if (errors != 0) notify_.Error(errors);
    if (modemEvent != 0) notify_.Modem(modemEvent);
}

}  // namespace quorvane
