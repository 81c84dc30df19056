#include "serial/write_thread.h"

namespace quorvane {

TWriteThread::TWriteThread(CommBackend& port, std::atomic<bool>& sendDataEmpty,
                           CommNotify& notify)
    : port_(port), sendDataEmpty_(sendDataEmpty), notify_(notify) {}

TWriteThread::~TWriteThread() {
    if (thread_.joinable()) {
        port_.RaiseStop();
        Stop();
    }
    Join();
}

void TWriteThread::Start() { thread_ = std::thread([this] { Execute(); }); }

bool TWriteThread::Queue(std::vector<std::uint8_t> block) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!accepting_ || queuedBytes_ + block.size() > kMaxQueuedBytes) return false;
        queuedBytes_ += block.size();
        queue_.push_back(std::move(block));
        // Under the lock, so the thread cannot report "empty" for a block it has not seen.
        sendDataEmpty_ = false;
    }
    wake_.notify_one();
    return true;
}

void TWriteThread::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
}

void TWriteThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void TWriteThread::Execute() {
    // Starts true, so the owner also hears once that the queue is empty after the open.
    bool justWrote = true;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stop_ || port_.StopRaised()) break;
        if (queue_.empty()) {
            sendDataEmpty_ = true;
            if (justWrote) {
                justWrote = false;
                lock.unlock();
                notify_.TxEmpty();
                lock.lock();
                continue;
            }
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            continue;
        }
        std::vector<std::uint8_t> block = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= block.size();
        lock.unlock();
        const bool written = WriteBlock(block);
        lock.lock();
        if (!written) break;
        justWrote = true;
    }
    accepting_ = false;
    queue_.clear();
    queuedBytes_ = 0;
    lock.unlock();
    port_.Purge(false, true);
    sendDataEmpty_ = true;
}

bool TWriteThread::WriteBlock(const std::vector<std::uint8_t>& block) {
    std::size_t offset = 0;
    while (offset < block.size()) {
        std::size_t written = 0;
        const CommStatus status = port_.Write(block.data() + offset, block.size() - offset, written);
        if (status == CommStatus::Stopped) return false;
        if (status != CommStatus::Ok) {
            notify_.Hangup();
            return false;
        }
        offset += written;
    }
    return true;
}

}  // namespace quorvane
