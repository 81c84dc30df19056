// Receiving, transmitting and line settings of TComm over a pseudo-terminal.
#include <termios.h>

#include <thread>

#include "tests/serial/comm_test_support.h"

namespace quorvane::test {
namespace {

Bytes Pattern(std::size_t size) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return data;
}

termios SlaveSettings(const PtyPair& pty) {
    termios t{};
    EXPECT_EQ(::tcgetattr(pty.Slave(), &t), 0);
    return t;
}

TEST(CommDefaults, ConstructorAndComm1Settings) {
    QueueMailbox mailbox;
    TComm comm(mailbox);
    EXPECT_EQ(comm.CommName(), "COM2");
    EXPECT_EQ(comm.BaudRate(), 9600u);
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrEnable);
    EXPECT_EQ(comm.RtsControl(), TRtsControl::RtsEnable);
    EXPECT_TRUE(comm.TxContinueOnXoff());
    EXPECT_TRUE(comm.Outx_XonXoffFlow());
    EXPECT_TRUE(comm.Inx_XonXoffFlow());
    EXPECT_EQ(comm.XonLimit(), 500);
    EXPECT_EQ(comm.XonChar(), 0x11);
    EXPECT_EQ(comm.XoffChar(), 0x13);
    EXPECT_EQ(comm.ReadIntervalTimeout(), 100u);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_TRUE(comm.SendDataEmpty());

    ApplyComm1Settings(comm);
    EXPECT_EQ(comm.CommName(), "COM2");
    EXPECT_EQ(comm.BaudRate(), 115200u);
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrDisable);
    EXPECT_EQ(comm.RtsControl(), TRtsControl::RtsDisable);
    EXPECT_FALSE(comm.TxContinueOnXoff());
    EXPECT_FALSE(comm.Outx_XonXoffFlow());
    EXPECT_FALSE(comm.Inx_XonXoffFlow());
    EXPECT_EQ(comm.ReadIntervalTimeout(), 30u);
    EXPECT_EQ(comm.ByteSize(), TByteSize::_8);
    EXPECT_EQ(comm.Parity(), TParity::None);
    EXPECT_EQ(comm.StopBits(), TStopBits::_1);
}

TEST_F(CommOverPty, OpensRaw115200EightNoneOneWithoutFlowControl) {
    comm.OpenComm();
    const termios t = SlaveSettings(pty);
    EXPECT_EQ(::cfgetospeed(&t), B115200);
    EXPECT_EQ(::cfgetispeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

// A pseudo-terminal keeps 8 data bits without parity whatever is set, so the
// settings seen here are the speed, the stop bits and the flow control.
TEST_F(CommOverPty, SettersApplyWhileOpen) {
    comm.OpenComm();
    comm.SetBaudRate(9600);
    comm.SetStopBits(TStopBits::_2);
    comm.SetOutx_XonXoffFlow(true);
    const termios t = SlaveSettings(pty);
    EXPECT_EQ(::cfgetospeed(&t), B9600);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_iflag & IXON, 0u);
    EXPECT_EQ(t.c_iflag & IXOFF, 0u);
}

TEST_F(CommOverPty, ANewPortNameTakesEffectAtTheNextOpen) {
    PtyPair second;
    comm.OpenComm();
    comm.SetCommName(second.SlaveName());
    pty.Send("one");
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.ReceivedBytes() >= 3; }));
    comm.CloseComm();
    comm.OpenComm();
    second.Send("two");
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.ReceivedBytes() >= 6; }));
    EXPECT_EQ(recorder.Received(), Bytes({'o', 'n', 'e', 't', 'w', 'o'}));
}

TEST_F(CommOverPty, BurstFollowedBySilenceIsOneBlock) {
    comm.OpenComm();
    // Twenty small writes with short pauses, well inside the 30 ms gap.
    Bytes sent;
    for (int i = 0; i < 20; ++i) {
        const Bytes piece = {std::uint8_t(i), 0x5A, 0xA5, 0x00, std::uint8_t(0xF0 + i % 16)};
        pty.Send(piece);
        sent.insert(sent.end(), piece.begin(), piece.end());
        std::this_thread::sleep_for(milliseconds(1));
    }
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.ReceivedBytes() >= sent.size(); }));
    ASSERT_EQ(recorder.blocks.size(), 1u);
    EXPECT_EQ(recorder.blocks[0], sent);

    // After the silence that ended the first block, the next bytes start a new one.
    pty.Send("next");
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.blocks.size() == 2; }));
    EXPECT_EQ(recorder.blocks[1], Bytes({'n', 'e', 'x', 't'}));
    EXPECT_TRUE(recorder.zeroAfterEveryBlock);
}

TEST_F(CommOverPty, LongBurstArrivesInOrderInBlocksOfAtMost2048) {
    comm.OpenComm();
    const Bytes sent = Pattern(5000);
    pty.Send(sent);
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.ReceivedBytes() >= sent.size(); }));
    EXPECT_EQ(recorder.Received(), sent);
    EXPECT_GE(recorder.blocks.size(), 3u);
    for (const Bytes& block : recorder.blocks) {
        EXPECT_GE(block.size(), 1u);
        EXPECT_LE(block.size(), 2048u);
    }
    EXPECT_TRUE(recorder.zeroAfterEveryBlock);
}

TEST_F(CommOverPty, ReadSettingsChangedWhileOpenApplyAtOnce) {
    comm.OpenComm();
    comm.SetReadIntervalTimeout(400);
    comm.SetIgnoreNullChar(true);
    pty.Send(Bytes{'a', 0, 'b'});
    std::this_thread::sleep_for(milliseconds(60));  // a pause the 30 ms gap would end on
    pty.Send("c");
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.ReceivedBytes() >= 3; }));
    ASSERT_EQ(recorder.blocks.size(), 1u);
    EXPECT_EQ(recorder.blocks[0], Bytes({'a', 'b', 'c'}));
}

TEST_F(CommOverPty, EmptyQueueIsReportedOnceAfterAWriteDrained) {
    comm.OpenComm();
    // The transmit thread announces its empty queue once after the open.
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.sendDataEmpty == 1; }));
    EXPECT_TRUE(comm.SendDataEmpty());

    const Bytes frame = {0x5A, 0xA5, 0x00, 0x06, 0x59, 0x01, 0x00, 0x10, 0x00, 0xFF, 0x92, 0x67};
    ASSERT_TRUE(comm.WriteCommBytes(frame.data(), static_cast<std::uint16_t>(frame.size())));
    EXPECT_EQ(pty.Receive(frame.size()), frame);
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.sendDataEmpty == 2; }));
    EXPECT_TRUE(comm.SendDataEmpty());
    mailbox.Drain();
    EXPECT_EQ(recorder.sendDataEmpty, 2);
}

TEST_F(CommOverPty, QueuedWritesGoOutInOrder) {
    comm.OpenComm();
    Bytes expected;
    for (std::size_t i = 0; i < 10; ++i) {
        Bytes block = Pattern(100 + 700 * i);
        block[0] = static_cast<std::uint8_t>(i);
        ASSERT_TRUE(comm.WriteCommBytes(block.data(), static_cast<std::uint16_t>(block.size())));
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(pty.Receive(expected.size()), expected);
    EXPECT_TRUE(WaitFor([&] { return comm.SendDataEmpty(); }));
}

TEST_F(CommOverPty, WritesAreRefusedWhileClosedOrEmpty) {
    const std::uint8_t byte = 0x50;
    comm.CloseComm();  // closing a closed port is harmless
    EXPECT_FALSE(comm.WriteCommBytes(&byte, 1));
    comm.OpenComm();
    EXPECT_FALSE(comm.WriteCommBytes(&byte, 0));
    EXPECT_FALSE(comm.WriteCommBytes(nullptr, 4));
    comm.CloseComm();
    comm.CloseComm();
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_FALSE(comm.WriteCommBytes(&byte, 1));
    EXPECT_FALSE(pty.MasterHasData());
}

TEST_F(CommOverPty, CloseEndsAWriteStalledOnAFullLine) {
    const int threadsBefore = Threads();
    comm.OpenComm();
    // Nobody reads the master side: the system's buffers fill and the write waits.
    const Bytes block = Pattern(60000);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(comm.WriteCommBytes(block.data(), static_cast<std::uint16_t>(block.size())));
    }
    EXPECT_FALSE(comm.SendDataEmpty());
    comm.CloseComm();
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_TRUE(comm.SendDataEmpty());
    EXPECT_EQ(Threads(), threadsBefore);
}

}  // namespace
}  // namespace quorvane::test
