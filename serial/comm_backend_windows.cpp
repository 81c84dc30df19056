// Serial ports on Windows: the port opened as "\\.\COMn" for overlapped I/O, one
// overlapped read always outstanding for the receive thread, overlapped writes for
// the transmit thread, WaitCommEvent for line errors and modem changes, and a
// manual-reset event as the stop signal that ends every wait of both threads.
//
// The driver keeps the five time-outs, but the receive thread cuts blocks itself:
// its waits ask for the next byte, so a read completes as soon as one arrives, and
// what the driver already holds is taken at once.
#include "serial/comm_backend_windows.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace quorvane {
namespace win {

CommStatus StatusFromError(DWORD error, bool opening) {
    if (!opening) return CommStatus::Hangup;
    switch (error) {
        case ERROR_INVALID_HANDLE:
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_PARAMETER:
            return CommStatus::NotACommDevice;
        default:  // not found, access denied (in use), sharing violation, bad name, ...
            return CommStatus::OpenFailed;
    }
}

std::string OpenFailureReason(DWORD error, const std::string& name) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return "No such device: " + name +
                   " does not exist (the adapter may be unplugged, or it appeared under another name).";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            // A serial port is opened by one program at a time; Windows answers a second
            // open with "access denied".
            return name + " is busy: another program has it open. Close it.";
        default:
            return "";
    }
}

bool IsUnsupported(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_CALL_NOT_IMPLEMENTED;
}

std::string DevicePath(const std::string& name) {
    if (name.starts_with("\\\\")) return name;
    return "\\\\.\\" + name;
}

namespace {

BYTE ByteSizeBits(TByteSize size) {
    switch (size) {
        case TByteSize::_5: return 5;
        case TByteSize::_6: return 6;
        case TByteSize::_7: return 7;
        case TByteSize::_8: break;
    }
    return 8;
}

BYTE ParityCode(TParity parity) {
    switch (parity) {
        case TParity::None: break;
        case TParity::Odd: return ODDPARITY;
        case TParity::Even: return EVENPARITY;
        case TParity::Mark: return MARKPARITY;
        case TParity::Space: return SPACEPARITY;
    }
    return NOPARITY;
}

BYTE StopBitsCode(TStopBits stopBits) {
    switch (stopBits) {
        case TStopBits::_1: break;
        case TStopBits::_1_5: return ONE5STOPBITS;
        case TStopBits::_2: return TWOSTOPBITS;
    }
    return ONESTOPBIT;
}

DWORD DtrCode(TDtrControl control) {
    switch (control) {
        case TDtrControl::DtrEnable: return DTR_CONTROL_ENABLE;
        case TDtrControl::DtrDisable: break;
        case TDtrControl::DtrHandshake: return DTR_CONTROL_HANDSHAKE;
    }
    return DTR_CONTROL_DISABLE;
}

DWORD RtsCode(TRtsControl control) {
    switch (control) {
        case TRtsControl::RtsEnable: return RTS_CONTROL_ENABLE;
        case TRtsControl::RtsDisable: break;
        case TRtsControl::RtsHandshake: return RTS_CONTROL_HANDSHAKE;
        case TRtsControl::RtsTransmissionAvailable: return RTS_CONTROL_TOGGLE;
    }
    return RTS_CONTROL_DISABLE;
}

}  // namespace

DCB DcbFromSettings(const LineSettings& s, DCB dcb) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = s.baudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = s.parityCheck ? TRUE : FALSE;
    dcb.fOutxCtsFlow = s.ctsFlow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = s.dsrFlow ? TRUE : FALSE;
    dcb.fDtrControl = DtrCode(s.dtrControl);
    dcb.fDsrSensitivity = s.dsrSensitivity ? TRUE : FALSE;
    dcb.fTXContinueOnXoff = s.txContinueOnXoff ? TRUE : FALSE;
    dcb.fOutX = s.outXonXoff ? TRUE : FALSE;
    dcb.fInX = s.inXonXoff ? TRUE : FALSE;
    dcb.fErrorChar = s.replaceWhenParityError ? TRUE : FALSE;
    // Zero bytes are dropped by the receive thread, where every system can.
    dcb.fNull = FALSE;
    dcb.fRtsControl = RtsCode(s.rtsControl);
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = s.xonLimit;
    dcb.XoffLim = s.xoffLimit;
    dcb.ByteSize = ByteSizeBits(s.byteSize);
    dcb.Parity = ParityCode(s.parity);
    dcb.StopBits = StopBitsCode(s.stopBits);
    dcb.XonChar = s.xonChar;
    dcb.XoffChar = s.xoffChar;
    dcb.ErrorChar = s.replacedChar;
    return dcb;
}

COMMTIMEOUTS ToCommTimeouts(const CommTimeouts& t) {
    COMMTIMEOUTS result{};
    result.ReadIntervalTimeout = t.readInterval;
    result.ReadTotalTimeoutMultiplier = t.readTotalMultiplier;
    result.ReadTotalTimeoutConstant = t.readTotalConstant;
    result.WriteTotalTimeoutMultiplier = t.writeTotalMultiplier;
    result.WriteTotalTimeoutConstant = t.writeTotalConstant;
    return result;
}

void LineEventsFrom(DWORD eventMask, DWORD commErrors, std::uint32_t& errors,
                    std::uint32_t& modemEvent) {
    errors = 0;
    if (commErrors & CE_RXOVER) errors |= kCommErrorRxOver;
    if (commErrors & CE_OVERRUN) errors |= kCommErrorOverrun;
    if (commErrors & CE_RXPARITY) errors |= kCommErrorParity;
    if (commErrors & CE_FRAME) errors |= kCommErrorFrame;
    if ((commErrors & CE_BREAK) || (eventMask & EV_BREAK)) errors |= kCommErrorBreak;
    modemEvent = 0;
    if (eventMask & EV_RLSD) modemEvent |= kModemCarrierDetect;
    if (eventMask & EV_RING) modemEvent |= kModemRing;
}

}  // namespace win

namespace {

// An OVERLAPPED with its own manual-reset event, and whether an operation on it
// has not been collected yet.
struct Overlapped {
    Overlapped() { ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (ov.hEvent != nullptr) ::CloseHandle(ov.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    bool Valid() const { return ov.hEvent != nullptr; }
    OVERLAPPED* Start() {
        HANDLE event = ov.hEvent;
        ov = OVERLAPPED{};
        ov.hEvent = event;
        ::ResetEvent(event);
        return &ov;
    }

    OVERLAPPED ov{};
    bool pending = false;
};

// Milliseconds left until `deadline` for a wait; INFINITE without a limit.
DWORD WaitLeft(bool limited, std::chrono::steady_clock::time_point deadline) {
    if (!limited) return INFINITE;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<DWORD>(std::min<long long>(left, INFINITE - 1));
}

// Where line events come from: WaitCommEvent, or only ClearCommError's flags and
// the modem status when the driver refuses event waits.
enum class LineSource { Unknown, EventWait, Polling, None };

class WindowsCommBackend final : public CommBackend {
public:
    ~WindowsCommBackend() override { Close(); }

    CommStatus Open(const std::string& name) override {
        Close();
        failureDetail_.clear();
        const std::string path = win::DevicePath(name);
        HANDLE port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (port == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            failureDetail_ = win::OpenFailureReason(error, name);
            return win::StatusFromError(error, true);
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (::GetFileType(port) != FILE_TYPE_CHAR || !::GetCommState(port, &dcb)) {
            ::CloseHandle(port);
            return CommStatus::NotACommDevice;
        }
        if (!read_.Valid() || !write_.Valid() || !event_.Valid()) {
            ::CloseHandle(port);
            return CommStatus::StopSignalFailed;
        }
        port_ = port;
        stopRaised_ = false;
        lost_ = false;
        lineSource_ = LineSource::Unknown;
        heldErrors_ = 0;
        return CommStatus::Ok;
    }

    std::string OpenFailureDetail() const override { return failureDetail_; }

    CommStatus SetQueueSizes(std::size_t receive, std::size_t transmit) override {
        if (port_ == INVALID_HANDLE_VALUE ||
            !::SetupComm(port_, static_cast<DWORD>(receive), static_cast<DWORD>(transmit))) {
            return CommStatus::QueueSetupFailed;
        }
        return CommStatus::Ok;
    }

    CommStatus CreateStopSignal() override {
        if (stop_ != nullptr) ::CloseHandle(stop_);
        stop_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        return stop_ != nullptr ? CommStatus::Ok : CommStatus::StopSignalFailed;
    }

    void RaiseStop() override {
        stopRaised_ = true;
        if (stop_ != nullptr) ::SetEvent(stop_);
    }

    bool StopRaised() const override { return stopRaised_; }

    bool Configure(const LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (port_ == INVALID_HANDLE_VALUE || !::GetCommState(port_, &dcb)) return false;
        dcb = win::DcbFromSettings(settings, dcb);
        if (::SetCommState(port_, &dcb)) return true;
        // A driver without modem lines refuses their control after taking the rest.
        return win::IsUnsupported(::GetLastError());
    }

    void SetTimeouts(const CommTimeouts& timeouts) override {
        if (port_ == INVALID_HANDLE_VALUE) return;
        COMMTIMEOUTS driver = win::ToCommTimeouts(timeouts);
        ::SetCommTimeouts(port_, &driver);
    }

    void Purge(bool receive, bool transmit) override {
        if (port_ == INVALID_HANDLE_VALUE) return;
        DWORD flags = 0;
        if (receive) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
        if (transmit) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
        if (flags != 0) ::PurgeComm(port_, flags);
    }

    CommStatus Read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                    std::size_t& count) override {
        count = 0;
        const bool limited = timeoutMs >= 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
        for (;;) {
            if (stopRaised_) return CommStatus::Stopped;
            if (lost_) return CommStatus::Hangup;
            if (!read_.pending) {
                // Bytes the driver already holds are taken at once.
                DWORD queued = 0;
                if (!QueuedBytes(queued)) return CommStatus::Hangup;
                if (queued > 0) {
                    return TakeQueued(buffer, std::min<std::size_t>(capacity, queued), count);
                }
                const CommStatus started = StartByteRead();
                if (started != CommStatus::Ok) return started;
            }
            HANDLE waits[2] = {stop_, read_.ov.hEvent};
            const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, WaitLeft(limited, deadline));
            if (woken == WAIT_TIMEOUT) return CommStatus::TimedOut;  // the read stays outstanding
            if (woken == WAIT_OBJECT_0) return CommStatus::Stopped;
            if (woken != WAIT_OBJECT_0 + 1) return CommStatus::Hangup;
            DWORD got = 0;
            const CommStatus done = FinishByteRead(got);
            if (done != CommStatus::Ok) return done;
            if (got == 0) {
                // The driver's own time-out ran out first. Where it returns at once
                // (no interval, no total), look again after a short pause.
                if (limited && WaitLeft(limited, deadline) == 0) return CommStatus::TimedOut;
                if (::WaitForSingleObject(stop_, std::min<DWORD>(kIdlePollMs, WaitLeft(limited, deadline))) ==
                    WAIT_OBJECT_0) {
                    return CommStatus::Stopped;
                }
                continue;
            }
            buffer[0] = byte_;
            count = 1;
            // What followed the first byte is taken with it.
            DWORD queued = 0;
            if (capacity > 1 && QueuedBytes(queued) && queued > 0) {
                std::size_t more = 0;
                const CommStatus status =
                    TakeQueued(buffer + 1, std::min<std::size_t>(capacity - 1, queued), more);
                count += more;
                if (status == CommStatus::Stopped) return CommStatus::Ok;
                if (status != CommStatus::Ok) lost_ = true;  // reported by the next call
            }
            return CommStatus::Ok;
        }
    }

    CommStatus Write(const std::uint8_t* data, std::size_t size, std::size_t& written) override {
        written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 0x7FFFFFFF));
        for (;;) {
            if (stopRaised_) return CommStatus::Stopped;
            DWORD done = 0;
            OVERLAPPED* ov = write_.Start();
            if (!::WriteFile(port_, data, chunk, nullptr, ov)) {
                const DWORD error = ::GetLastError();
                if (error != ERROR_IO_PENDING) return win::StatusFromError(error, false);
                HANDLE waits[2] = {stop_, write_.ov.hEvent};
                const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
                if (woken != WAIT_OBJECT_0 + 1) {
                    ::CancelIoEx(port_, ov);
                    ::GetOverlappedResult(port_, ov, &done, TRUE);
                    if (done > 0) {
                        written = done;
                        return CommStatus::Ok;
                    }
                    return woken == WAIT_OBJECT_0 ? CommStatus::Stopped : CommStatus::Hangup;
                }
            }
            if (!::GetOverlappedResult(port_, ov, &done, FALSE)) {
                const DWORD error = ::GetLastError();
                if (error == ERROR_OPERATION_ABORTED && stopRaised_) return CommStatus::Stopped;
                if (error != ERROR_OPERATION_ABORTED) return win::StatusFromError(error, false);
            }
            if (done > 0) {
                written = done;
                return CommStatus::Ok;
            }
            // Nothing taken before the driver's write time-out: wait for the port again.
        }
    }

    bool LineEvents(std::uint32_t& errors, std::uint32_t& modemEvent) override {
        errors = 0;
        modemEvent = 0;
        if (port_ == INVALID_HANDLE_VALUE || lineSource_ == LineSource::None) return false;
        if (lineSource_ == LineSource::Unknown) return TakeStartingPoint();

        DWORD eventMask = 0;
        if (lineSource_ == LineSource::EventWait) {
            if (!CollectEvent(eventMask)) return true;  // no event yet
        } else {
            modemEvent = PollModemChanges();
        }
        DWORD commErrors = 0;
        DWORD queued = 0;
        QueuedBytes(queued);
        std::swap(commErrors, heldErrors_);
        std::uint32_t eventModem = 0;
        win::LineEventsFrom(eventMask, commErrors, errors, eventModem);
        modemEvent |= eventModem;
        if (lineSource_ == LineSource::EventWait) StartEventWait();
        return true;
    }

    void Close() override {
        if (port_ != INVALID_HANDLE_VALUE) {
            // Discarding unsent bytes keeps the close from waiting for them to drain.
            ::PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
            ::CancelIoEx(port_, nullptr);
            for (Overlapped* op : {&read_, &event_}) {
                DWORD ignored = 0;
                if (op->pending) ::GetOverlappedResult(port_, &op->ov, &ignored, TRUE);
                op->pending = false;
            }
            ::CloseHandle(port_);
            port_ = INVALID_HANDLE_VALUE;
        }
        if (stop_ != nullptr) {
            ::CloseHandle(stop_);
            stop_ = nullptr;
        }
    }

private:
    static constexpr DWORD kIdlePollMs = 10;

    // How many received bytes the driver holds; keeps its error flags for the next
    // line-event report. False when the port is gone.
    bool QueuedBytes(DWORD& queued) {
        DWORD commErrors = 0;
        COMSTAT status{};
        if (!::ClearCommError(port_, &commErrors, &status)) return false;
        heldErrors_ |= commErrors;
        queued = status.cbInQue;
        return true;
    }

    // Reads `wanted` bytes the driver already holds.
    CommStatus TakeQueued(std::uint8_t* buffer, std::size_t wanted, std::size_t& count) {
        count = 0;
        DWORD done = 0;
        OVERLAPPED* ov = read_.Start();
        if (!::ReadFile(port_, buffer, static_cast<DWORD>(wanted), nullptr, ov)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) return win::StatusFromError(error, false);
            HANDLE waits[2] = {stop_, read_.ov.hEvent};
            if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                ::CancelIoEx(port_, ov);
            }
        }
        if (!::GetOverlappedResult(port_, ov, &done, TRUE)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_OPERATION_ABORTED) return win::StatusFromError(error, false);
        }
        count = done;
        if (count == 0 && stopRaised_) return CommStatus::Stopped;
        return CommStatus::Ok;
    }

    // The outstanding read: one byte, so it completes with the first one to arrive.
    CommStatus StartByteRead() {
        OVERLAPPED* ov = read_.Start();
        if (::ReadFile(port_, &byte_, 1, nullptr, ov)) {
            read_.pending = true;  // done at once; its event is set
            return CommStatus::Ok;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return win::StatusFromError(error, false);
        read_.pending = true;
        return CommStatus::Ok;
    }

    CommStatus FinishByteRead(DWORD& got) {
        got = 0;
        read_.pending = false;
        if (::GetOverlappedResult(port_, &read_.ov, &got, FALSE)) return CommStatus::Ok;
        const DWORD error = ::GetLastError();
        // A purge aborts the read: start another unless the port is closing.
        if (error == ERROR_OPERATION_ABORTED) {
            return stopRaised_ ? CommStatus::Stopped : CommStatus::Ok;
        }
        return win::StatusFromError(error, false);
    }

    bool TakeStartingPoint() {
        DWORD queued = 0;
        if (!QueuedBytes(queued)) return false;
        heldErrors_ = 0;
        if (::SetCommMask(port_, win::kLineEventMask) && StartEventWait()) {
            lineSource_ = LineSource::EventWait;
            return true;
        }
        DWORD modem = 0;
        modemStatusKnown_ = ::GetCommModemStatus(port_, &modem) != FALSE;
        modemStatus_ = modem;
        lineSource_ = LineSource::Polling;
        return true;
    }

    // False when the driver refuses event waits (then line events are polled).
    bool StartEventWait() {
        eventMask_ = 0;
        OVERLAPPED* ov = event_.Start();
        if (::WaitCommEvent(port_, &eventMask_, ov)) {
            event_.pending = true;
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            event_.pending = true;
            return true;
        }
        if (!win::IsUnsupported(error)) lost_ = true;
        lineSource_ = LineSource::Polling;
        return false;
    }

    // True with the mask of a completed event wait.
    bool CollectEvent(DWORD& eventMask) {
        if (!event_.pending) return false;
        DWORD ignored = 0;
        if (!::GetOverlappedResult(port_, &event_.ov, &ignored, FALSE)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_INCOMPLETE) return false;
            event_.pending = false;
            if (error != ERROR_OPERATION_ABORTED) lost_ = true;
            eventMask = 0;
            return true;
        }
        event_.pending = false;
        eventMask = eventMask_;
        return true;
    }

    std::uint32_t PollModemChanges() {
        if (!modemStatusKnown_) return 0;
        DWORD now = 0;
        if (!::GetCommModemStatus(port_, &now)) return 0;
        std::uint32_t modemEvent = 0;
        if ((now ^ modemStatus_) & MS_RLSD_ON) modemEvent |= kModemCarrierDetect;
        if ((now & MS_RING_ON) && !(modemStatus_ & MS_RING_ON)) modemEvent |= kModemRing;
        modemStatus_ = now;
        return modemEvent;
    }

    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE stop_ = nullptr;
    std::atomic<bool> stopRaised_{false};
    Overlapped write_;  // the transmit thread's
    // The receive thread's.
    Overlapped read_;
    Overlapped event_;
    std::uint8_t byte_ = 0;
    DWORD eventMask_ = 0;
    DWORD heldErrors_ = 0;
    DWORD modemStatus_ = 0;
    std::string failureDetail_;  // why the last open failed
    bool modemStatusKnown_ = true;
    bool lost_ = false;
    LineSource lineSource_ = LineSource::Unknown;
};

}  // namespace

std::unique_ptr<CommBackend> MakeCommBackend() { return std::make_unique<WindowsCommBackend>(); }

}  // namespace quorvane
