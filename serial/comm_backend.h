// The operating system's side of a serial port, behind one small interface; one
// implementation per system (comm_backend_posix.cpp). Only those files include
// system headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/comm.h"

namespace quorvane {

// Every outcome the component reports; CommStatusMessage gives the open failures
// their text.
enum class CommStatus {
    Ok,
    TimedOut,          // a wait ended without bytes
    Stopped,           // the stop signal is raised
    Hangup,            // the device failed or the far end went away
    AlreadyOpen,
    OpenFailed,        // no such port, in use, no access
    NotACommDevice,    // the name opens something that is no serial port
    QueueSetupFailed,  // the driver refused the queue sizes
    StopSignalFailed,
    ReadThreadFailed,
    WriteThreadFailed,
};

// The message of an open failure ("" for the other outcomes).
const char* CommStatusMessage(CommStatus status);

struct LineSettings {
    std::uint32_t baudRate = 115200;
    bool parityCheck = false;
    bool ctsFlow = false;
    bool dsrFlow = false;
    TDtrControl dtrControl = TDtrControl::DtrDisable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outXonXoff = false;
    bool inXonXoff = false;
    bool replaceWhenParityError = false;
    TRtsControl rtsControl = TRtsControl::RtsDisable;
    std::uint16_t xonLimit = 500;
    std::uint16_t xoffLimit = 500;
    TByteSize byteSize = TByteSize::_8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::_1;
    char xonChar = 0x11;
    char xoffChar = 0x13;
    char replacedChar = 0x00;
};

// The five time-out properties (ms), as the owner set them.
struct CommTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

// One port. The owner's thread opens, configures, purges and closes it; while open,
// the receive thread calls Read and LineEvents and the transmit thread calls Write.
// Every wait also ends when the stop signal is raised.
class CommBackend {
public:
    virtual ~CommBackend() = default;

    // Opens the port `name` for reading and writing, exclusively. Nothing is held
    // after a failure.
    virtual CommStatus Open(const std::string& name) = 0;
    // After a failed Open: why, in a technician's words, where the system tells
    // ("" otherwise).
    virtual std::string OpenFailureDetail() const { return {}; }
    virtual CommStatus SetQueueSizes(std::size_t receive, std::size_t transmit) = 0;
    virtual CommStatus CreateStopSignal() = 0;
    // Any thread: wakes every wait of both threads for good.
    virtual void RaiseStop() = 0;
    virtual bool StopRaised() const = 0;
    // False when the port refused the settings (then nothing changed).
    virtual bool Configure(const LineSettings& settings) = 0;
    // Hands the time-outs to a driver that keeps its own; Read and Write keep their
    // meaning whatever they are (the receive thread cuts blocks itself).
    virtual void SetTimeouts(const CommTimeouts& /*timeouts*/) {}
    // Discards what waits in the driver's receive and/or transmit queue.
    virtual void Purge(bool receive, bool transmit) = 0;
    // Waits up to `timeoutMs` (negative: no limit) for received bytes, then takes
    // what is there, at most `capacity`: Ok with count > 0, TimedOut, Stopped, Hangup.
    virtual CommStatus Read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                            std::size_t& count) = 0;
    // Writes some of `size` bytes, waiting while the port takes none: Ok with
    // written > 0, Stopped, Hangup.
    virtual CommStatus Write(const std::uint8_t* data, std::size_t size,
                             std::size_t& written) = 0;
    // Line errors (kCommError* flags) and modem events (kModem* values) since the
    // previous call; the first call only takes the starting point. False when the
    // port cannot report them.
    virtual bool LineEvents(std::uint32_t& errors, std::uint32_t& modemEvent) = 0;
    // Releases the port and the stop signal; harmless when nothing is held.
    virtual void Close() = 0;
};

std::unique_ptr<CommBackend> MakeCommBackend();

}  // namespace quorvane
