// The owner-side mailbox of the serial component. Worker threads never call the
// owner: they post work here, and the owner's thread runs it in posting order. The
// window delivers through Qt's event queue; headless front ends use QueueMailbox.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace quorvane {

class Mailbox {
public:
    virtual ~Mailbox() = default;
    // Safe from any thread. `work` runs later on the owner's thread.
    virtual void Post(std::function<void()> work) = 0;
};

// A mailbox drained by a loop on the owner's thread.
class QueueMailbox : public Mailbox {
public:
    QueueMailbox() = default;
    // `posted` runs on the posting thread after each post: a loop that serves several
    // mailboxes lets it wake the loop.
    explicit QueueMailbox(std::function<void()> posted) : posted_(std::move(posted)) {}

    void Post(std::function<void()> work) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(work));
        }
        ready_.notify_one();
        if (posted_) posted_();
    }

    // Runs everything posted so far, in order, on the calling thread; returns how many.
    // Work posted while draining waits for the next call.
    std::size_t Drain() {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            batch.swap(queue_);
        }
        for (auto& work : batch) work();
        return batch.size();
    }

    // Waits until something is posted or `timeout` passes; true when work is waiting.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return ready_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
    }

    bool Empty() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_.empty();
    }

private:
    std::function<void()> posted_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace quorvane
