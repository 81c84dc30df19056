// Mailboxes of a station: one per port, as each serial component needs its own, all
// ringing one doorbell so a single loop can sleep until any port has work.
#pragma once

#include <chrono>
#include <condition_variable>
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

// A port's mailbox, ringing the station's doorbell on every post.
class StationMailbox : public QueueMailbox {
public:
    explicit StationMailbox(Doorbell& bell) : QueueMailbox([&bell] { bell.Ring(); }) {}
};

}  // namespace quorvane
