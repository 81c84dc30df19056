// Serial ports on POSIX systems: termios for the line, poll() for every wait, and
// an eventfd (a self-pipe elsewhere) as the stop signal that wakes both threads.
//
// What the Windows driver model offers and POSIX does not:
// - queue sizes: the kernel sizes its tty buffers itself; SetQueueSizes accepts any.
// - DSR flow, DSR sensitivity, "transmit continues on XOFF", the XON/XOFF limits and
//   RTS toggling while transmitting have no termios equivalent and are ignored
//   (RtsTransmissionAvailable and DtrHandshake simply raise the line).
// - one and a half stop bits: two stop bits are set, which the UART turns into one
//   and a half with 5 data bits.
// - with parity checking on, a byte received with a parity or framing error is
//   delivered as a zero byte (the replacement character cannot be chosen).
// - line errors and carrier/ring changes come from the kernel's interrupt counters
//   (TIOCGICOUNT) where the driver keeps them, else from sampling the modem lines;
//   pseudo-terminals offer neither, so no line events are reported for them.
#include "serial/comm_backend.h"
#include "serial/port_list.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/eventfd.h>
#if defined(TIOCGICOUNT)
#define QUORVANE_HAVE_ICOUNT 1
#endif
#endif

namespace quorvane {
namespace {

// The one place where the system's error codes become the component's.
CommStatus StatusFromErrno(int error) {
    switch (error) {
        case ENOTTY:
            return CommStatus::NotACommDevice;
        default:  // ENOENT, ENXIO, ENODEV, EBUSY, EACCES, EPERM, EISDIR, EWOULDBLOCK, ...
            return CommStatus::OpenFailed;
    }
}

bool SpeedFor(std::uint32_t baud, speed_t& speed) {
    struct Entry {
        std::uint32_t baud;
        speed_t speed;
    };
    static constexpr Entry kSpeeds[] = {
        {50, B50},       {75, B75},         {110, B110},       {134, B134},
        {150, B150},     {200, B200},       {300, B300},       {600, B600},
        {1200, B1200},   {1800, B1800},     {2400, B2400},     {4800, B4800},
        {9600, B9600},   {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400},
#ifdef B460800
        {460800, B460800},
#endif
#ifdef B500000
        {500000, B500000},   {576000, B576000},   {921600, B921600},
        {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
        {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
#endif
    };
    for (const Entry& entry : kSpeeds) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

tcflag_t DataBits(TByteSize size) {
    switch (size) {
        case TByteSize::_5: return CS5;
        case TByteSize::_6: return CS6;
        case TByteSize::_7: return CS7;
        case TByteSize::_8: break;
    }
    return CS8;
}

bool ParityBits(TParity parity, tcflag_t& bits) {
    switch (parity) {
        case TParity::None: bits = 0; return true;
        case TParity::Odd: bits = PARENB | PARODD; return true;
        case TParity::Even: bits = PARENB; return true;
#ifdef CMSPAR
        case TParity::Mark: bits = PARENB | CMSPAR | PARODD; return true;
        case TParity::Space: bits = PARENB | CMSPAR; return true;
#else
        case TParity::Mark:
        case TParity::Space: break;
#endif
    }
    return false;
}

#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
// Asks the driver to pass received bytes on at once rather than after a USB
// adapter's latency timer. True when this call set the flag; a driver that has no
// such setting, or refuses it, leaves the port as it was.
bool SetLowLatency(int fd, bool on) {
    serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
    const int flag = static_cast<int>(ASYNC_LOW_LATENCY);
    const bool isOn = (serial.flags & flag) != 0;
    if (isOn == on) return false;
    if (on) {
        serial.flags |= flag;
    } else {
        serial.flags &= ~flag;
    }
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}
#else
bool SetLowLatency(int, bool) { return false; }
#endif

// Milliseconds left until `deadline` for poll(); -1 waits without limit.
int PollWait(bool limited, std::chrono::steady_clock::time_point deadline) {
    if (!limited) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

class PosixCommBackend final : public CommBackend {
public:
    ~PosixCommBackend() override { Close(); }

    CommStatus Open(const std::string& name) override {
        Close();
        failureDetail_.clear();
        const std::string path = name.find('/') == std::string::npos ? "/dev/" + name : name;
        // Look before opening: opening a FIFO or some devices has effects of its own.
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) return Failed(path, errno);
        // A directory cannot be opened as a device at all; other files open but are
        // no character device.
        if (S_ISDIR(info.st_mode)) return CommStatus::OpenFailed;
        if (!S_ISCHR(info.st_mode)) return CommStatus::NotACommDevice;

        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return Failed(path, errno);
        CommStatus status = CommStatus::Ok;
        termios settings {};
        if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
            status = CommStatus::NotACommDevice;
        } else if (::tcgetattr(fd, &settings) != 0) {
            status = StatusFromErrno(errno);
        } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            // Another user of this port in this or another process (TIOCEXCL below
            // does not hold back a privileged one).
            ::close(fd);  // first, so that this descriptor is not counted as the holder
            return Failed(path, EBUSY);
        }
        if (status != CommStatus::Ok) {
            ::close(fd);
            return status;
        }
        // Claimed for this process alone: a later open by another (unprivileged)
        // program fails as busy.
        ::ioctl(fd, TIOCEXCL);
        lowLatencySet_ = SetLowLatency(fd, true);
        // The descriptor stays non-blocking: every wait is a poll() that also
        // watches the stop signal.
        fd_ = fd;
        lineSource_ = LineSource::Unknown;
        stopRaised_ = false;
        return CommStatus::Ok;
    }

    std::string OpenFailureDetail() const override { return failureDetail_; }

    CommStatus SetQueueSizes(std::size_t, std::size_t) override {
        return fd_ >= 0 ? CommStatus::Ok : CommStatus::QueueSetupFailed;
    }

    CommStatus CreateStopSignal() override {
        CloseStopSignal();
#if defined(__linux__)
        stopRead_ = stopWrite_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (stopRead_ < 0) {
            stopRead_ = stopWrite_ = -1;
            return CommStatus::StopSignalFailed;
        }
#else
        int fds[2];
        if (::pipe(fds) != 0) return CommStatus::StopSignalFailed;
        for (int fd : fds) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
        }
        stopRead_ = fds[0];
        stopWrite_ = fds[1];
#endif
        return CommStatus::Ok;
    }

    void RaiseStop() override {
        stopRaised_ = true;
        if (stopWrite_ < 0) return;
        // Never read back: the signal stays readable and wakes every later poll.
#if defined(__linux__)
        const std::uint64_t one = 1;
#else
        const std::uint8_t one = 1;
#endif
        while (::write(stopWrite_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    bool StopRaised() const override { return stopRaised_; }

    bool Configure(const LineSettings& s) override {
        termios t {};
        speed_t speed {};
        tcflag_t parity = 0;
        if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0) return false;
        if (!SpeedFor(s.baudRate, speed) || !ParityBits(s.parity, parity)) return false;

        t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                            ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
        if (s.parityCheck) t.c_iflag |= INPCK;
        if (s.outXonXoff) t.c_iflag |= IXON;
        if (s.inXonXoff) t.c_iflag |= IXOFF;
        t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        tcflag_t cleared = CSIZE | PARENB | PARODD | CSTOPB;
#ifdef CMSPAR
        cleared |= CMSPAR;
#endif
#ifdef CRTSCTS
        cleared |= CRTSCTS;
#endif
        t.c_cflag &= ~cleared;
        t.c_cflag |= CREAD | CLOCAL | DataBits(s.byteSize) | parity;
        if (s.stopBits != TStopBits::_1) t.c_cflag |= CSTOPB;
#ifdef CRTSCTS
        if (s.ctsFlow || s.rtsControl == TRtsControl::RtsHandshake) t.c_cflag |= CRTSCTS;
#endif
        // One byte completes a read; the receive thread times the gaps itself.
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;

        SetModemLine(TIOCM_DTR, s.dtrControl != TDtrControl::DtrDisable);
        if (s.rtsControl != TRtsControl::RtsHandshake) {
            SetModemLine(TIOCM_RTS, s.rtsControl != TRtsControl::RtsDisable);
        }
        return true;
    }

    void Purge(bool receive, bool transmit) override {
        if (fd_ < 0 || (!receive && !transmit)) return;
        ::tcflush(fd_, receive && transmit ? TCIOFLUSH : receive ? TCIFLUSH : TCOFLUSH);
    }

    CommStatus Read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                    std::size_t& count) override {
        count = 0;
        const bool limited = timeoutMs >= 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
        for (;;) {
            if (stopRaised_) return CommStatus::Stopped;
            pollfd fds[2] = {{fd_, POLLIN, 0}, {stopRead_, POLLIN, 0}};
            const int ready = ::poll(fds, 2, PollWait(limited, deadline));
            if (ready < 0) {
                if (errno == EINTR) continue;
                return CommStatus::Hangup;
            }
            if (fds[1].revents != 0) return CommStatus::Stopped;
            if (ready == 0) return CommStatus::TimedOut;
            if (fds[0].revents & POLLNVAL) return CommStatus::Hangup;
            // Bytes that arrived before a hang-up are still taken first.
            const ssize_t n = ::read(fd_, buffer, capacity);
            if (n > 0) {
                count = static_cast<std::size_t>(n);
                return CommStatus::Ok;
            }
            if (n == 0) return CommStatus::Hangup;  // end of file: the line was hung up
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return CommStatus::Hangup;
            if (fds[0].revents & (POLLHUP | POLLERR)) return CommStatus::Hangup;
        }
    }

    CommStatus Write(const std::uint8_t* data, std::size_t size, std::size_t& written) override {
        written = 0;
        bool lineTrouble = false;
        for (;;) {
            if (stopRaised_) return CommStatus::Stopped;
            const ssize_t n = ::write(fd_, data, size);
            if (n > 0) {
                written = static_cast<std::size_t>(n);
                return CommStatus::Ok;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || lineTrouble) {
                return CommStatus::Hangup;
            }
            pollfd fds[2] = {{fd_, POLLOUT, 0}, {stopRead_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return CommStatus::Hangup;
            }
            if (fds[1].revents != 0) return CommStatus::Stopped;
            if (fds[0].revents & POLLNVAL) return CommStatus::Hangup;
            // After a hang-up or error report the next write must make progress.
            lineTrouble = (fds[0].revents & (POLLHUP | POLLERR)) != 0;
        }
    }

    bool LineEvents(std::uint32_t& errors, std::uint32_t& modemEvent) override {
        errors = 0;
        modemEvent = 0;
        if (fd_ < 0) return false;
#if defined(QUORVANE_HAVE_ICOUNT)
        if (lineSource_ == LineSource::Unknown || lineSource_ == LineSource::Counters) {
            serial_icounter_struct now {};
            if (::ioctl(fd_, TIOCGICOUNT, &now) == 0) {
                if (lineSource_ == LineSource::Counters) {
                    const serial_icounter_struct& was = counters_;
                    if (now.buf_overrun != was.buf_overrun) errors |= kCommErrorRxOver;
                    if (now.overrun != was.overrun) errors |= kCommErrorOverrun;
                    if (now.parity != was.parity) errors |= kCommErrorParity;
                    if (now.frame != was.frame) errors |= kCommErrorFrame;
                    if (now.brk != was.brk) errors |= kCommErrorBreak;
                    if (now.dcd != was.dcd) modemEvent |= kModemCarrierDetect;
                    if (now.rng != was.rng) modemEvent |= kModemRing;
                }
                counters_ = now;
                lineSource_ = LineSource::Counters;
                return true;
            }
            if (lineSource_ == LineSource::Counters) return true;  // the read reports the loss
        }
#endif
        if (lineSource_ == LineSource::Unknown || lineSource_ == LineSource::ModemLines) {
            int lines = 0;
            if (::ioctl(fd_, TIOCMGET, &lines) == 0) {
                if (lineSource_ == LineSource::ModemLines) {
                    if ((lines ^ modemLines_) & TIOCM_CD) modemEvent |= kModemCarrierDetect;
                    if ((lines & TIOCM_RI) && !(modemLines_ & TIOCM_RI)) modemEvent |= kModemRing;
                }
                modemLines_ = lines;
                lineSource_ = LineSource::ModemLines;
                return true;
            }
            if (lineSource_ == LineSource::ModemLines) return true;
        }
        lineSource_ = LineSource::None;
        return false;
    }

    void Close() override {
        if (fd_ >= 0) {
            // Discarding unsent bytes keeps close() from waiting for them to drain.
            ::tcflush(fd_, TCIOFLUSH);
            if (lowLatencySet_) SetLowLatency(fd_, false);  // the driver's setting as it was found
            lowLatencySet_ = false;
            ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);
            fd_ = -1;
        }
        CloseStopSignal();
    }

private:
    enum class LineSource { Unknown, Counters, ModemLines, None };

    CommStatus Failed(const std::string& path, int error) {
        failureDetail_ = DescribeOpenFailure(path, error);
        return StatusFromErrno(error);
    }

    void SetModemLine(int line, bool on) {
        // Pseudo-terminals and some adapters have no modem lines (ENOTTY, EINVAL).
        ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
    }

    void CloseStopSignal() {
        if (stopWrite_ >= 0 && stopWrite_ != stopRead_) ::close(stopWrite_);
        if (stopRead_ >= 0) ::close(stopRead_);
        stopRead_ = stopWrite_ = -1;
    }

    int fd_ = -1;
    bool lowLatencySet_ = false;  // Open set the driver's low-latency flag
    std::string failureDetail_;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    std::atomic<bool> stopRaised_{false};
    // Used by the receive thread only.
    LineSource lineSource_ = LineSource::Unknown;
    int modemLines_ = 0;
#if defined(QUORVANE_HAVE_ICOUNT)
    serial_icounter_struct counters_ {};
#endif
};

}  // namespace

std::unique_ptr<CommBackend> MakeCommBackend() { return std::make_unique<PosixCommBackend>(); }

}  // namespace quorvane
