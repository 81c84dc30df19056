// TWriteThread against a port that takes a few bytes per write: blocks go out
// whole and in order, the owner hears once per run that the queue is empty, and a
// failed write ends the thread as a lost port. No real time passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "serial/write_thread.h"
#include "tests/serial/comm_wait.h"

namespace quorvane::test {
namespace {

class TricklePort final : public CommBackend {
public:
    explicit TricklePort(std::size_t perWrite) : perWrite_(perWrite) {}

    // While held, every write waits (so blocks can be queued before any goes out).
    void Hold(bool held) {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = held;
        changed_.notify_all();
    }
    void FailAfter(std::size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        failAfter_ = bytes;
    }
    std::string Line() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return line_;
    }
    bool TransmitPurged() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return transmitPurged_;
    }

    CommStatus Open(const std::string&) override { return CommStatus::Ok; }
    CommStatus SetQueueSizes(std::size_t, std::size_t) override { return CommStatus::Ok; }
    CommStatus CreateStopSignal() override { return CommStatus::Ok; }
    void RaiseStop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    bool StopRaised() const override { return stopped_; }
    bool Configure(const LineSettings&) override { return true; }
    void Purge(bool, bool transmit) override {
        std::lock_guard<std::mutex> lock(mutex_);
        transmitPurged_ = transmitPurged_ || transmit;
    }
    CommStatus Read(std::uint8_t*, std::size_t, int, std::size_t& count) override {
        count = 0;
        return CommStatus::Stopped;
    }
    CommStatus Write(const std::uint8_t* data, std::size_t size, std::size_t& written) override {
        std::unique_lock<std::mutex> lock(mutex_);
        written = 0;
        changed_.wait(lock, [this] { return !held_ || stopped_; });
        if (stopped_) return CommStatus::Stopped;
        if (line_.size() >= failAfter_) return CommStatus::Hangup;
        written = std::min({size, perWrite_, failAfter_ - line_.size()});
        line_.append(data, data + written);
        return CommStatus::Ok;
    }
    bool LineEvents(std::uint32_t&, std::uint32_t&) override { return false; }
    void Close() override {}

private:
    const std::size_t perWrite_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    std::string line_;
    std::size_t failAfter_ = SIZE_MAX;
    std::atomic<bool> stopped_{false};
    bool transmitPurged_ = false;
};

class CountingNotify final : public CommNotify {
public:
    void Data(std::vector<std::uint8_t>, std::uint16_t) override {}
    void Error(std::uint32_t) override {}
    void Hangup() override { ++hangups; }
    void Modem(std::uint32_t) override {}
    void TxEmpty() override { ++txEmpty; }

    std::atomic<int> hangups{0};
    std::atomic<int> txEmpty{0};
};

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(WriteThread, BlocksGoOutWholeInOrderAndEmptyIsToldOncePerRun) {
    TricklePort port(3);
    std::atomic<bool> empty{true};
    CountingNotify notify;
    TWriteThread thread(port, empty, notify);
    thread.Start();
    ASSERT_TRUE(WaitFor([&] { return notify.txEmpty == 1; }));  // heard once after the start

    port.Hold(true);
    ASSERT_TRUE(thread.Queue(Text("first block")));
    EXPECT_FALSE(empty);
    ASSERT_TRUE(thread.Queue(Text("+second")));
    EXPECT_FALSE(empty);
    port.Hold(false);  // both go out in one run: one "empty" after them
    ASSERT_TRUE(WaitFor([&] { return notify.txEmpty == 2; }));
    EXPECT_EQ(port.Line(), "first block+second");
    EXPECT_TRUE(empty);

    ASSERT_TRUE(thread.Queue(Text("!")));
    ASSERT_TRUE(WaitFor([&] { return notify.txEmpty == 3; }));
    EXPECT_EQ(port.Line(), "first block+second!");
    EXPECT_EQ(notify.hangups, 0);
    port.RaiseStop();
    thread.Stop();
    thread.Join();
}

TEST(WriteThread, AFailedWriteIsALostPortAndNothingMoreIsTaken) {
    TricklePort port(4);
    port.FailAfter(6);
    std::atomic<bool> empty{true};
    CountingNotify notify;
    TWriteThread thread(port, empty, notify);
    thread.Start();
    ASSERT_TRUE(thread.Queue(Text("0123456789")));
    ASSERT_TRUE(WaitFor([&] { return port.TransmitPurged(); }));
    thread.Join();
    EXPECT_EQ(notify.hangups, 1);
    EXPECT_EQ(port.Line(), "012345");
    EXPECT_TRUE(empty);
    EXPECT_FALSE(thread.Queue(Text("late")));
}

}  // namespace
}  // namespace quorvane::test
