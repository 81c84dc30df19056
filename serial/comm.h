// The serial port component: one port opened by name, its line settings and
// time-outs, and two worker threads (receive and transmit) whose results reach the
// owner as events on the owner's thread, through the owner's Mailbox.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

#include "serial/mailbox.h"

namespace quorvane {

// Raised by OpenComm; what() is the component's message. Detail() says, where the
// system tells, why the port could not be opened ("" otherwise): no permission and
// which group would give it, busy and which program holds it, no such device.
class ECommsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ECommsError(const std::string& message, std::string detail)
        : std::runtime_error(message), detail_(std::move(detail)) {}
    const std::string& Detail() const { return detail_; }

private:
    std::string detail_;
};

enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };
enum class TByteSize { _5, _6, _7, _8 };
enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };

// Flags of OnReceiveError's event mask.
inline constexpr std::uint32_t kCommErrorRxOver = 0x0001;   // receive queue overflow
inline constexpr std::uint32_t kCommErrorOverrun = 0x0002;  // hardware overrun
inline constexpr std::uint32_t kCommErrorParity = 0x0004;
inline constexpr std::uint32_t kCommErrorFrame = 0x0008;
inline constexpr std::uint32_t kCommErrorBreak = 0x0010;

// Values of OnModemStateChange's modem event (added together).
inline constexpr std::uint32_t kModemCarrierDetect = 8;
inline constexpr std::uint32_t kModemRing = 4;

class CommPoster;
struct CommSession;

class TComm {
public:
    // Notifications are delivered through `mailbox`, which must outlive the
    // component's last posted work (it is the owner's loop).
    explicit TComm(Mailbox& mailbox);
    ~TComm();  // closes the port first
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    // Opens the port named by CommName and starts both threads. Throws ECommsError;
    // the component is then closed.
    void OpenComm();
    // Stops both threads and closes the port; nothing when closed.
    void CloseComm();
    // Queues a copy of `count` bytes for the transmit thread; never waits. False
    // while closed, for count 0, or when the transmit thread takes no more.
    bool WriteCommBytes(const std::uint8_t* data, std::uint16_t count);
    // True while everything accepted has been handed to the system.
    bool SendDataEmpty() const;
    bool IsOpen() const;
    // Bytes handed to OnReceiveData since the port was last opened: none at all
    // after requests went out means a quiet line.
    std::uint64_t ReceivedBytes() const { return receivedBytes_; }

    // Properties. A setter ignores an unchanged value; otherwise it stores it and,
    // while open, applies it at once. CommName and Parity take effect at the next
    // open. A name without '/' is looked up as "/dev/<name>" on POSIX systems; on
    // Windows as "\\.\<name>" ("COM5", "COM12") unless it starts with "\\".
    const std::string& CommName() const { return commName_; }
    void SetCommName(const std::string& value) { commName_ = value; }
    std::uint32_t BaudRate() const { return baudRate_; }
    void SetBaudRate(std::uint32_t value);
    bool ParityCheck() const { return parityCheck_; }
    void SetParityCheck(bool value);
    bool Outx_CtsFlow() const { return outxCtsFlow_; }
    void SetOutx_CtsFlow(bool value);
    bool Outx_DsrFlow() const { return outxDsrFlow_; }
    void SetOutx_DsrFlow(bool value);
    TDtrControl DtrControl() const { return dtrControl_; }
    void SetDtrControl(TDtrControl value);
    bool DsrSensitivity() const { return dsrSensitivity_; }
    void SetDsrSensitivity(bool value);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value);
    bool Outx_XonXoffFlow() const { return outxXonXoffFlow_; }
    void SetOutx_XonXoffFlow(bool value);
    bool Inx_XonXoffFlow() const { return inxXonXoffFlow_; }
    void SetInx_XonXoffFlow(bool value);
    bool ReplaceWhenParityError() const { return replaceWhenParityError_; }
    void SetReplaceWhenParityError(bool value);
    bool IgnoreNullChar() const { return ignoreNullChar_; }
    void SetIgnoreNullChar(bool value);
    TRtsControl RtsControl() const { return rtsControl_; }
    void SetRtsControl(TRtsControl value);
    std::uint16_t XonLimit() const { return xonLimit_; }
    void SetXonLimit(std::uint16_t value);
    std::uint16_t XoffLimit() const { return xoffLimit_; }
    void SetXoffLimit(std::uint16_t value);
    TByteSize ByteSize() const { return byteSize_; }
    void SetByteSize(TByteSize value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity value) { parity_ = value; }
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    char XonChar() const { return xonChar_; }
    void SetXonChar(char value);
    char XoffChar() const { return xoffChar_; }
    void SetXoffChar(char value);
    char ReplacedChar() const { return replacedChar_; }
    void SetReplacedChar(char value);
    std::uint32_t ReadIntervalTimeout() const { return readIntervalTimeout_; }
    void SetReadIntervalTimeout(std::uint32_t value);
    std::uint32_t ReadTotalTimeoutMultiplier() const { return readTotalTimeoutMultiplier_; }
    void SetReadTotalTimeoutMultiplier(std::uint32_t value);
    std::uint32_t ReadTotalTimeoutConstant() const { return readTotalTimeoutConstant_; }
    void SetReadTotalTimeoutConstant(std::uint32_t value);
    std::uint32_t WriteTotalTimeoutMultiplier() const { return writeTotalTimeoutMultiplier_; }
    void SetWriteTotalTimeoutMultiplier(std::uint32_t value);
    std::uint32_t WriteTotalTimeoutConstant() const { return writeTotalTimeoutConstant_; }
    void SetWriteTotalTimeoutConstant(std::uint32_t value);

    // Ends a received block as soon as `end` says its bytes are complete, instead of
    // after the read interval's silence. Takes effect at the next open; none by default.
    void SetBlockEnd(std::function<bool(std::span<const std::uint8_t>)> end) { blockEnd_ = std::move(end); }

    // Events, raised on the owner's thread while the port is open; each optional.
    // `buffer` holds `length` bytes followed by one zero byte and is valid only
    // during the call.
    std::function<void(TComm& sender, const std::uint8_t* buffer, std::uint16_t length)>
        OnReceiveData;
    std::function<void(TComm&, std::uint32_t eventMask)> OnReceiveError;
    std::function<void(TComm&, std::uint32_t modemEvent)> OnModemStateChange;
    std::function<void(TComm&)> OnRequestHangup;  // a worker stopped; close the port
    std::function<void(TComm&)> OnSendDataEmpty;

private:
    friend class CommPoster;

    template <typename T>
    void SetState(T& field, T value);
    template <typename T>
    void SetTimeout(T& field, T value);
    void ApplyCommState();
    void ApplyCommTimeouts();

    Mailbox& mailbox_;
    // Work posted by the threads holds a weak reference to this token, so it never
    // reaches a destroyed component.
    std::shared_ptr<TComm*> alive_;
    // Changes with every open and close; notifications of another session are dropped.
    std::uint64_t session_ = 0;
    std::unique_ptr<CommSession> port_;  // set exactly while open
    std::atomic<bool> sendDataEmpty_{true};
    std::uint64_t receivedBytes_ = 0;  // owner's thread only

    std::string commName_ = "COM2";
    std::uint32_t baudRate_ = 9600;
    bool parityCheck_ = false;
    bool outxCtsFlow_ = false;
    bool outxDsrFlow_ = false;
    TDtrControl dtrControl_ = TDtrControl::DtrEnable;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = true;
    bool outxXonXoffFlow_ = true;
    bool inxXonXoffFlow_ = true;
    bool replaceWhenParityError_ = false;
    bool ignoreNullChar_ = false;
    TRtsControl rtsControl_ = TRtsControl::RtsEnable;
    std::uint16_t xonLimit_ = 500;
    std::uint16_t xoffLimit_ = 500;
    TByteSize byteSize_ = TByteSize::_8;
    TParity parity_ = TParity::None;
    TStopBits stopBits_ = TStopBits::_1;
    char xonChar_ = 0x11;
    char xoffChar_ = 0x13;
    char replacedChar_ = 0x00;
    std::uint32_t readIntervalTimeout_ = 100;
    std::uint32_t readTotalTimeoutMultiplier_ = 0;
    std::uint32_t readTotalTimeoutConstant_ = 0;
    std::uint32_t writeTotalTimeoutMultiplier_ = 0;
    std::uint32_t writeTotalTimeoutConstant_ = 0;
    std::function<bool(std::span<const std::uint8_t>)> blockEnd_;
};

// The main window's settings of its port (Comm1): 115200 baud, DTR and RTS off, no
// XON/XOFF flow, 30 ms read interval. The port name is left to the caller.
void ApplyComm1Settings(TComm& comm);

}  // namespace quorvane
