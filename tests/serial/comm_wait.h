// Waiting for a serial component's work without sleeping out a time-out, and
// recording what it raised. No system calls: shared by every platform's tests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "serial/comm.h"
#include "serial/mailbox.h"

namespace quorvane::test {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

inline constexpr milliseconds kDeadline{5000};

// Runs posted work until `done` holds or the deadline passes.
inline bool WaitUntil(QueueMailbox& mailbox, const std::function<bool()>& done,
                      milliseconds within = kDeadline) {
    const auto end = std::chrono::steady_clock::now() + within;
    for (;;) {
        mailbox.Drain();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        mailbox.WaitFor(milliseconds(10));
    }
}

// Waits for a condition that does not depend on posted work (nothing is drained).
inline bool WaitFor(const std::function<bool()>& done, milliseconds within = kDeadline) {
    const auto end = std::chrono::steady_clock::now() + within;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

// A QueueMailbox that counts what was posted to it, delivered or not.
class CountingMailbox : public QueueMailbox {
public:
    void Post(std::function<void()> work) override {
        ++posted_;
        QueueMailbox::Post(std::move(work));
    }
    int Posted() const { return posted_; }

private:
    std::atomic<int> posted_{0};
};

// Everything a component raised, as the owner saw it.
struct Recorder {
    std::vector<Bytes> blocks;
    bool zeroAfterEveryBlock = true;
    int hangups = 0;
    int sendDataEmpty = 0;

    void Attach(TComm& comm) {
        comm.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            blocks.emplace_back(buffer, buffer + length);
            if (buffer[length] != 0) zeroAfterEveryBlock = false;
        };
        comm.OnRequestHangup = [this](TComm&) { ++hangups; };
        comm.OnSendDataEmpty = [this](TComm&) { ++sendDataEmpty; };
    }

    std::size_t ReceivedBytes() const {
        std::size_t total = 0;
        for (const Bytes& block : blocks) total += block.size();
        return total;
    }
    Bytes Received() const {
        Bytes all;
        for (const Bytes& block : blocks) all.insert(all.end(), block.begin(), block.end());
        return all;
    }
};

}  // namespace quorvane::test
