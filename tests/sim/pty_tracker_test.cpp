#include "sim/pty_tracker.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "sim/state_file.h"
#include "sim_test_support.h"

namespace quorvane::sim::test {
namespace {

using namespace std::chrono_literals;

const Bytes kConnect = B({0x01, 0xFF, 0xFF, 0xFF, 0xFF});

// The editor's end of the line.
class Port {
public:
    explicit Port(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (fd_ >= 0) {
            termios tio{};
            ::tcgetattr(fd_, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Port() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Open() const { return fd_ >= 0; }

    void Send(const Bytes& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    // Reads until `count` bytes have come or `deadline` has passed; `reads` counts the
    // reads that returned bytes.
    Bytes Receive(std::size_t count, std::chrono::milliseconds deadline = 5000ms, int* reads = nullptr) {
        Bytes bytes;
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            std::uint8_t buffer[8192];
            const auto n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                bytes.insert(bytes.end(), buffer, buffer + n);
                if (reads) ++*reads;
            }
        }
        return bytes;
    }

private:
    int fd_;
};

Bytes ExpectedAnswer(std::uint8_t command, const Bytes& payload) {
    Simulator reference;
    FakeClock clock;
    return Exchange(reference, clock, command, payload);
}

TEST(PtyTracker, AnswersOnThePseudoTerminal) {
    PtyTracker tracker({});
    ASSERT_TRUE(tracker.SlavePath().starts_with("/dev/"));
    Port port(tracker.SlavePath());
    ASSERT_TRUE(port.Open());

    const Bytes expected = ExpectedAnswer(CmdConnect, kConnect);
    port.Send(B({0x00, 0x5A}) + Frame(CmdConnect, kConnect));
    EXPECT_EQ(port.Receive(expected.size()), expected);

    const auto requests = tracker.TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, CmdConnect);
    EXPECT_TRUE(tracker.TakeRequests().empty());
}

TEST(PtyTracker, SurvivesTheEditorClosingAndReopeningThePort) {
    PtyTracker tracker({});
    const Bytes expected = ExpectedAnswer(CmdClearSms, {});
    for (int round = 0; round < 3; ++round) {
        Port port(tracker.SlavePath());
        ASSERT_TRUE(port.Open());
        port.Send(Frame(CmdClearSms));
        EXPECT_EQ(port.Receive(expected.size()), expected) << "round " << round;
    }
}

TEST(PtyTracker, ThrottledAnswersTakeTheirTimeOnTheWire) {
    PtyTrackerOptions options;
    options.throttle = true;
    PtyTracker tracker(options);
    Port port(tracker.SlavePath());
    const Bytes request = B({5, 0, 0, 0x10, 0});
    const Bytes expected = ExpectedAnswer(CmdReadBlock, request);

    const auto start = std::chrono::steady_clock::now();
    port.Send(Frame(CmdReadBlock, request));
    int reads = 0;
    EXPECT_EQ(port.Receive(expected.size(), 10000ms, &reads), expected);
    // 4108 bytes at 11520 bytes a second cannot arrive sooner, nor in one piece.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_GT(reads, 1);
}

TEST(PtyTracker, StopsInTheMiddleOfAnAnswer) {
    PtyTrackerOptions options;
    options.throttle = true;
    PtyTracker tracker(options);
    Port port(tracker.SlavePath());
    port.Send(Frame(CmdReadBlock, B({5, 0, 0, 0x10, 0})));
    ASSERT_FALSE(port.Receive(1).empty());
    tracker.Stop();
    tracker.Stop();
    EXPECT_LT(tracker.BytesSent(), 4108u);
    EXPECT_EQ(tracker.AnswersSent(), 0u);
}

TEST(PtyTracker, FaultsWithPausesSplitTheAnswer) {
    PtyTracker tracker({});
    tracker.InjectFault(Fault::SplitAnswer, 1, CmdReadBlock);
    Port port(tracker.SlavePath());
    const Bytes request = B({3, 0, 0, 0, 116});
    const Bytes expected = ExpectedAnswer(CmdReadBlock, request);
    port.Send(Frame(CmdReadBlock, request));
    const Bytes first = port.Receive(expected.size() / 2);
    EXPECT_EQ(first.size(), expected.size() / 2);
    EXPECT_EQ(first + port.Receive(expected.size() - first.size()), expected);
}

TEST(PtyTracker, KeepsItsStateInAFileBetweenRuns) {
    TempDir dir;
    PtyTrackerOptions options;
    options.stateFile = dir.File("tracker.state");
    const Bytes write = B({1, 0, 32, 0, 4, 'w', 'a', 'p', 0});
    {
        PtyTracker tracker(options);
        ASSERT_TRUE(std::filesystem::exists(options.stateFile));  // made at start
        Port port(tracker.SlavePath());
        port.Send(Frame(CmdWriteBlock, write));
        port.Send(Frame(CmdAuthorizeId, B("4711")));
        port.Send(Frame(CmdSetMileage, B({0x10, 0x27, 0, 0})));
        EXPECT_EQ(port.Receive(3 * 8 + 1), Frame(CmdWriteBlock, B({1, 1})) + Frame(CmdAuthorizeId, B({1})) +
                                                 Frame(CmdSetMileage, B({1})));
        // Saved with each change, before the answer went out.
        const TrackerState saved = LoadStateFile(options.stateFile);
        EXPECT_EQ(saved, tracker.State());
    }
    PtyTracker again(options);
    const TrackerState state = again.State();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(state.Area(1).data() + 32)), "wap");
    EXPECT_EQ(state.rfidIds, std::vector<std::string>{"4711"});
    EXPECT_EQ(state.mileage, 10000u);
}

TEST(PtyTracker, RefusesABrokenStateFile) {
    TempDir dir;
    PtyTrackerOptions options;
    options.stateFile = dir.File("tracker.state");
    { std::ofstream(options.stateFile) << "not a state\n"; }
    EXPECT_THROW(PtyTracker{options}, EStateFileError);
}

TEST(PtyTracker, MakesAndRemovesItsLink) {
    TempDir dir;
    PtyTrackerOptions options;
    options.linkPath = dir.File("ttyTracker");
    std::filesystem::create_symlink("/dev/null", options.linkPath);  // a stale link is replaced
    {
        PtyTracker tracker(options);
        EXPECT_EQ(std::filesystem::read_symlink(options.linkPath), tracker.SlavePath());
        Port port(options.linkPath);
        ASSERT_TRUE(port.Open());
        const Bytes expected = ExpectedAnswer(CmdDefault, {});
        port.Send(Frame(CmdDefault));
        EXPECT_EQ(port.Receive(expected.size()), expected);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(options.linkPath)));

    { std::ofstream(options.linkPath) << "a file of the user's"; }
    EXPECT_THROW(PtyTracker{options}, std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_regular_file(options.linkPath));
}

}  // namespace
}  // namespace quorvane::sim::test
