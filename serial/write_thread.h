// The transmit thread: writes queued blocks to the port in order and tells the
// owner when its queue has run empty.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/comm_backend.h"
#include "serial/comm_notify.h"

namespace quorvane {

class TWriteThread {
public:
    // Beyond this many unwritten bytes further blocks are refused, so a stalled
    // line cannot take all memory.
    static constexpr std::size_t kMaxQueuedBytes = 1 << 20;

    // `sendDataEmpty` turns true whenever the queue is found empty and when the
    // thread ends; Queue turns it false.
    TWriteThread(CommBackend& port, std::atomic<bool>& sendDataEmpty, CommNotify& notify);
    ~TWriteThread();  // stops and waits for the end
    TWriteThread(const TWriteThread&) = delete;
    TWriteThread& operator=(const TWriteThread&) = delete;

    void Start();  // throws std::system_error when no thread can be made
    // Owner's thread. False once the thread has ended or when the queue is full.
    bool Queue(std::vector<std::uint8_t> block);
    // Wakes the thread for good; a write in progress ends with the port's stop signal.
    void Stop();
    void Join();

private:
    void Execute();
    bool WriteBlock(const std::vector<std::uint8_t>& block);

    CommBackend& port_;
    std::atomic<bool>& sendDataEmpty_;
    CommNotify& notify_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::vector<std::uint8_t>> queue_;
    std::size_t queuedBytes_ = 0;
    bool accepting_ = true;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace quorvane
