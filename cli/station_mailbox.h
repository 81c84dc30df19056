// Mailboxes of a station: one per port, as each serial component needs its own, all
// ringing one doorbell so a single loop can sleep until any port has work.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "serial/mailbox.h"

namespace quorvane {

class Doorbell {
public:
    void Ring() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            rung_ = true;
        }
        ringing_.notify_one();
    }

    // Sleeps until rung or `until`; clears the ring. True when rung.
    bool WaitUntil(std::chrono::steady_clock::time_point until) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool rung = ringing_.wait_until(lock, until, [this] { return rung_; });
        rung_ = false;
        return rung;
    }

private:
    std::mutex mutex_;
    std::condition_variable ringing_;
    bool rung_ = false;
};

class StationMailbox : public Mailbox {
public:
    explicit StationMailbox(Doorbell& bell) : bell_(bell) {}

    void Post(std::function<void()> work) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(work));
        }
        bell_.Ring();
    }

    // Runs everything posted so far, in posting order; returns how many.
    std::size_t Drain() {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            batch.swap(queue_);
        }
        for (auto& work : batch) work();
        return batch.size();
    }

private:
    Doorbell& bell_;
    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace quorvane
