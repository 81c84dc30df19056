// Opening, failing to open, hang-up and the lifetime of TComm's notifications.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "tests/serial/comm_test_support.h"

namespace quorvane::test {
namespace {

using std::chrono::steady_clock;

std::string OpenError(TComm& comm) {
    try {
        comm.OpenComm();
    } catch (const ECommsError& error) {
        return error.what();
    }
    return "(opened)";
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "serial-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

TEST(CommOpen, FailuresGiveTheirMessageAndLeaveNothingBehind) {
    TempDir dir;
    const std::string file = dir.Path() + "/port.txt";
    std::ofstream(file) << "not a port";
    const std::string subdir = dir.Path() + "/ttyS0";
    std::filesystem::create_directory(subdir);

    struct Case {
        std::string name;
        const char* message;
    };
    const Case cases[] = {
        {"None", "Error opening serial port"},  // the port box's text without ports
        {"ttyQuorvaneMissing7", "Error opening serial port"},
        {dir.Path() + "/missing/ttyUSB0", "Error opening serial port"},
        {file, "File handle is not a comm handle "},
        {subdir, "Error opening serial port"},  // a directory cannot be opened
        {"/dev/null", "File handle is not a comm handle "},  // a device, but no terminal
    };
    QueueMailbox mailbox;
    TComm comm(mailbox);
    const int descriptors = OpenDescriptors();
    const int threads = Threads();
    for (const Case& c : cases) {
        comm.SetCommName(c.name);
        EXPECT_EQ(OpenError(comm), c.message) << c.name;
        EXPECT_FALSE(comm.IsOpen()) << c.name;
        EXPECT_EQ(OpenDescriptors(), descriptors) << c.name;
        EXPECT_EQ(Threads(), threads) << c.name;
    }
    EXPECT_EQ(mailbox.Drain(), 0u);
}

TEST_F(CommOverPty, OpeningTwiceKeepsTheFirstOpen) {
    comm.OpenComm();
    EXPECT_EQ(OpenError(comm), "This serial port already opened");
    EXPECT_TRUE(comm.IsOpen());
    pty.Send("still here");
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.ReceivedBytes() >= 10; }));
    EXPECT_EQ(recorder.Received(), Bytes({'s', 't', 'i', 'l', 'l', ' ', 'h', 'e', 'r', 'e'}));
}

TEST_F(CommOverPty, APortInUseCannotBeOpenedAgain) {
    comm.OpenComm();
    TComm other(mailbox);
    other.SetCommName(pty.SlaveName());
    EXPECT_EQ(OpenError(other), "Error opening serial port");
    EXPECT_TRUE(comm.IsOpen());
    // Closing releases it for the next user.
    comm.CloseComm();
    EXPECT_NO_THROW(other.OpenComm());
}

TEST_F(CommOverPty, CloseReleasesThreadsAndDescriptors) {
    const int descriptors = OpenDescriptors();
    const int threads = Threads();
    comm.OpenComm();
    EXPECT_EQ(Threads(), threads + 2);
    comm.CloseComm();
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(Threads(), threads);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(CommOverPty, VanishedFarEndRaisesHangupOnceAndCloseStillWorks) {
    const int descriptors = OpenDescriptors() - 1;  // the master is closed below
    const int threads = Threads();
    comm.OpenComm();
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.hangups == 1; }));
    // The receive thread has ended instead of spinning on the dead line; the
    // transmit thread still waits for work.
    ASSERT_TRUE(WaitFor([&] { return Threads() == threads + 1; }));
    EXPECT_TRUE(comm.IsOpen());

    // A write now fails in the transmit thread, which reports and ends too.
    const std::uint8_t byte = 0x50;
    EXPECT_TRUE(comm.WriteCommBytes(&byte, 1));
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.hangups == 2; }));
    ASSERT_TRUE(WaitFor([&] { return Threads() == threads; }));
    EXPECT_FALSE(comm.WriteCommBytes(&byte, 1));

    const auto start = steady_clock::now();
    comm.CloseComm();
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(OpenDescriptors(), descriptors);
    mailbox.Drain();
    EXPECT_EQ(recorder.hangups, 2);
}

TEST_F(CommOverPty, HangupHandlerMayCloseThePort) {
    const int threads = Threads();
    comm.OnRequestHangup = [&](TComm& sender) {
        ++recorder.hangups;
        sender.CloseComm();
    };
    comm.OpenComm();
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.hangups == 1; }));
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(Threads(), threads);
}

TEST(CommLifetime, NotificationsOfAnEarlierOpenAreDropped) {
    PtyPair pty;
    CountingMailbox mailbox;
    TComm comm(mailbox);
    comm.SetCommName(pty.SlaveName());
    Recorder recorder;
    recorder.Attach(comm);
    comm.OpenComm();
    pty.Send("old");
    // The empty transmit queue and the block are posted, neither delivered.
    ASSERT_TRUE(WaitFor([&] { return mailbox.Posted() == 2; }));
    comm.CloseComm();
    comm.OpenComm();
    pty.Send("new");
    ASSERT_TRUE(WaitUntil(mailbox, [&] {
        return recorder.ReceivedBytes() >= 3 && recorder.sendDataEmpty >= 1;
    }));
    EXPECT_EQ(recorder.Received(), Bytes({'n', 'e', 'w'}));
    EXPECT_EQ(recorder.sendDataEmpty, 1);  // only the one of the second open
}

TEST(CommLifetime, DestroyingAnOpenComponentClosesItAndDropsItsPostedWork) {
    PtyPair pty;
    CountingMailbox mailbox;
    const int threads = Threads();
    int delivered = 0;
    auto comm = std::make_unique<TComm>(mailbox);
    comm->SetCommName(pty.SlaveName());
    comm->OnReceiveData = [&](TComm&, const std::uint8_t*, std::uint16_t) { ++delivered; };
    comm->OnSendDataEmpty = [&](TComm&) { ++delivered; };
    comm->OpenComm();
    pty.Send("bytes for nobody");
    ASSERT_TRUE(WaitFor([&] { return mailbox.Posted() == 2; }));
    comm.reset();
    EXPECT_EQ(Threads(), threads);
    mailbox.Drain();
    EXPECT_EQ(delivered, 0);
}

}  // namespace
}  // namespace quorvane::test
