// TReadThread against a scripted port: how it cuts blocks, which waits it asks
// for, and what it reports. No real time passes: the port answers from the script.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "serial/read_thread.h"
#include "tests/serial/comm_wait.h"

namespace quorvane::test {
namespace {

struct Step {
    CommStatus status;
    Bytes data;
};

class ScriptedPort final : public CommBackend {
public:
    explicit ScriptedPort(bool reportsLineEvents) : reportsLineEvents_(reportsLineEvents) {}

    void Script(std::vector<Step> steps) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Step& step : steps) steps_.push_back(std::move(step));
        changed_.notify_all();
    }
    void ScriptLineEvent(std::uint32_t errors, std::uint32_t modem) {
        std::lock_guard<std::mutex> lock(mutex_);
        lineEvents_.emplace_back(errors, modem);
    }
    std::vector<int> Waits() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return waits_;
    }
    bool ReceivePurged() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return receivePurged_;
    }

    CommStatus Open(const std::string&) override { return CommStatus::Ok; }
    CommStatus SetQueueSizes(std::size_t, std::size_t) override { return CommStatus::Ok; }
    CommStatus CreateStopSignal() override { return CommStatus::Ok; }
    void RaiseStop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    bool StopRaised() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopped_;
    }
    bool Configure(const LineSettings&) override { return true; }
    void Purge(bool receive, bool) override {
        std::lock_guard<std::mutex> lock(mutex_);
        receivePurged_ = receivePurged_ || receive;
    }
    // Answers from the script; with the script used up it waits for the stop.
    CommStatus Read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                    std::size_t& count) override {
        count = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        waits_.push_back(timeoutMs);
        changed_.wait(lock, [this] { return stopped_ || !steps_.empty(); });
        if (stopped_) return CommStatus::Stopped;
        Step step = std::move(steps_.front());
        steps_.pop_front();
        EXPECT_LE(step.data.size(), capacity);
        std::copy(step.data.begin(), step.data.end(), buffer);
        count = step.data.size();
        return step.status;
    }
    CommStatus Write(const std::uint8_t*, std::size_t, std::size_t&) override {
        return CommStatus::Hangup;
    }
    bool LineEvents(std::uint32_t& errors, std::uint32_t& modem) override {
        std::lock_guard<std::mutex> lock(mutex_);
        errors = modem = 0;
        if (!reportsLineEvents_) return false;
        if (!baselineTaken_) {
            baselineTaken_ = true;  // the first call only takes the starting point
            return true;
        }
        if (!lineEvents_.empty()) {
            errors = lineEvents_.front().first;
            modem = lineEvents_.front().second;
            lineEvents_.pop_front();
        }
        return true;
    }
    void Close() override {}

private:
    const bool reportsLineEvents_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Step> steps_;
    std::deque<std::pair<std::uint32_t, std::uint32_t>> lineEvents_;
    std::vector<int> waits_;
    bool baselineTaken_ = false;
    bool stopped_ = false;
    bool receivePurged_ = false;
};

class RecordingNotify final : public CommNotify {
public:
    void Data(std::vector<std::uint8_t> block, std::uint16_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        EXPECT_EQ(block.size(), length + 1u);
        EXPECT_EQ(block.back(), 0);
        block.pop_back();
        events_.push_back("data " + std::string(block.begin(), block.end()));
    }
    void Error(std::uint32_t errors) override { Add("error " + std::to_string(errors)); }
    void Hangup() override { Add("hangup"); }
    void Modem(std::uint32_t modemEvent) override { Add("modem " + std::to_string(modemEvent)); }
    void TxEmpty() override { Add("tx empty"); }

    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    bool Count(std::size_t n) const { return Events().size() >= n; }

private:
    void Add(std::string event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

Step Bytes_(const std::string& text) { return {CommStatus::Ok, Bytes(text.begin(), text.end())}; }
const Step kGap{CommStatus::TimedOut, {}};

struct ReadThreadTest : ::testing::Test {
    void Start() { thread.Start(); }
    void TearDown() override {
        port.RaiseStop();
        thread.Join();
    }

    ScriptedPort port{false};
    ReadOptions options;
    RecordingNotify notify;
    TReadThread thread{port, options, notify};
};

TEST_F(ReadThreadTest, WaitsFollowTheReadTimeouts) {
    options.intervalTimeout = 30;
    Start();
    port.Script({Bytes_("ab"), Bytes_("cd"), kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(1); }));

    options.intervalTimeout = TReadThread::kNoInterval;  // only what is already there
    port.Script({Bytes_("x"), kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(2); }));

    options.intervalTimeout = 0;  // no time-out at all: wait for a full block
    port.Script({Bytes_("y"), Bytes_("z"), kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(3); }));

    options.totalConstant = 500;  // now the whole block has 500 ms
    port.Script({Bytes_("t"), kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(4) && port.Waits().size() == 11; }));

    // Each block's first byte is awaited without limit, the rest as configured.
    std::vector<int> waits = port.Waits();
    EXPECT_GT(waits[9], 400);
    EXPECT_LE(waits[9], 500);
    waits[9] = 500;
    EXPECT_EQ(waits, (std::vector<int>{-1, 30, 30, -1, 0, -1, -1, -1, -1, 500, -1}));
    EXPECT_EQ(notify.Events(),
              (std::vector<std::string>{"data abcd", "data x", "data yz", "data t"}));
}

TEST_F(ReadThreadTest, AFullBlockIsHandedOverWithoutWaiting) {
    options.intervalTimeout = 30;
    Start();
    port.Script({Bytes_(std::string(2000, 'a')), Bytes_(std::string(48, 'b')),
                 Bytes_("c"), kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(2); }));
    const std::vector<std::string> events = notify.Events();
    EXPECT_EQ(events[0], "data " + std::string(2000, 'a') + std::string(48, 'b'));
    EXPECT_EQ(events[1], "data c");
}

// A block the owner calls complete goes at once; the bytes after it start a new one.
TEST_F(ReadThreadTest, ACompleteBlockIsHandedOverWithoutTheIntervalWait) {
    options.intervalTimeout = 30;
    options.blockEnd = [](std::span<const std::uint8_t> block) { return !block.empty() && block.back() == '!'; };
    Start();
    port.Script({Bytes_("ab"), Bytes_("c!"), Bytes_("de"), kGap, Bytes_("f!")});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(3) && port.Waits().size() == 6; }));
    EXPECT_EQ(notify.Events(), (std::vector<std::string>{"data abc!", "data de", "data f!"}));
    // No wait after "c!" and "f!": the first byte of the next block is awaited instead.
    EXPECT_EQ(port.Waits(), (std::vector<int>{-1, 30, -1, 30, -1, -1}));
}

// A burst longer than a block: the owner is asked about the whole burst so far.
TEST_F(ReadThreadTest, BlockEndSeesTheFullBlocksOfTheSameBurst) {
    options.intervalTimeout = 30;
    std::vector<std::size_t> asked;
    options.blockEnd = [&asked](std::span<const std::uint8_t> block) {
        asked.push_back(block.size());
        return block.size() == 2050;
    };
    Start();
    port.Script({Bytes_(std::string(2048, 'a')), Bytes_("bc"), Bytes_("d"), kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(3); }));
    EXPECT_EQ(notify.Events()[1], "data bc");
    EXPECT_EQ(notify.Events()[2], "data d");
    // A block that was not full ends the burst: "d" is asked about alone.
    EXPECT_EQ(asked, (std::vector<std::size_t>{2050, 1}));
}

TEST_F(ReadThreadTest, DropsZeroBytesWhenAsked) {
    options.ignoreNullChar = true;
    Start();
    port.Script({{CommStatus::Ok, Bytes{'a', 0, 'b'}}, kGap, {CommStatus::Ok, Bytes{0, 0}}, kGap,
                 Bytes_("c"), kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(2); }));
    EXPECT_EQ(notify.Events(), (std::vector<std::string>{"data ab", "data c"}));
}

TEST_F(ReadThreadTest, HangupDeliversWhatArrivedThenEnds) {
    Start();
    port.Script({Bytes_("zz"), {CommStatus::Hangup, {}}});
    ASSERT_TRUE(WaitFor([&] { return port.ReceivePurged(); }));  // on its way out
    thread.Join();
    EXPECT_EQ(notify.Events(), (std::vector<std::string>{"data zz", "hangup"}));
}

TEST(ReadThreadLineEvents, IdlePortIsAskedForLineErrorsAndModemChanges) {
    ScriptedPort port(true);
    ReadOptions options;
    options.intervalTimeout = 30;
    RecordingNotify notify;
    TReadThread thread(port, options, notify);
    thread.Start();
    port.ScriptLineEvent(kCommErrorFrame | kCommErrorOverrun, kModemCarrierDetect | kModemRing);
    port.Script({kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(2); }));
    port.ScriptLineEvent(0, kModemRing);
    port.Script({Bytes_("r"), kGap});
    ASSERT_TRUE(WaitFor([&] { return notify.Count(4); }));
    port.RaiseStop();
    thread.Join();
    EXPECT_EQ(notify.Events(),
              (std::vector<std::string>{"error 10", "modem 12", "data r", "modem 4"}));
    EXPECT_EQ(port.Waits().front(), TReadThread::kLineCheckMs);
}

}  // namespace
}  // namespace quorvane::test
