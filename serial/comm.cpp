#include "serial/comm.h"

#include <system_error>
#include <utility>
#include <vector>

#include "serial/comm_backend.h"
#include "serial/comm_notify.h"
#include "serial/read_thread.h"
#include "serial/write_thread.h"

namespace quorvane {

const char* CommStatusMessage(CommStatus status) {
    switch (status) {
        case CommStatus::AlreadyOpen: return "This serial port already opened";
        case CommStatus::OpenFailed: return "Error opening serial port";
        case CommStatus::NotACommDevice: return "File handle is not a comm handle ";
        case CommStatus::QueueSetupFailed: return "Cannot setup comm buffer";
        case CommStatus::StopSignalFailed: return "Unable to create event";
        case CommStatus::ReadThreadFailed: return "Unable to create read thread";
        case CommStatus::WriteThreadFailed: return "Unable to create write thread";
        case CommStatus::Ok:
        case CommStatus::TimedOut:
        case CommStatus::Stopped:
        case CommStatus::Hangup: break;
    }
    return "";
}

// Posts the threads' notifications to the owner's mailbox. On the owner's thread a
// notification reaches the component only while it exists and is still in the
// session (open) that produced it.
class CommPoster final : public CommNotify {
public:
    CommPoster(Mailbox& mailbox, std::weak_ptr<TComm*> alive, std::uint64_t session)
        : mailbox_(mailbox), alive_(std::move(alive)), session_(session) {}

    void Data(std::vector<std::uint8_t> block, std::uint16_t length) override {
        Post([block = std::move(block), length](TComm& comm) {
            comm.receivedBytes_ += length;
            if (auto handler = comm.OnReceiveData) handler(comm, block.data(), length);
        });
    }
    void Error(std::uint32_t errors) override {
        Post([errors](TComm& comm) {
            if (auto handler = comm.OnReceiveError) handler(comm, errors);
        });
    }
    void Hangup() override {
        Post([](TComm& comm) {
            if (auto handler = comm.OnRequestHangup) handler(comm);
        });
    }
    void Modem(std::uint32_t modemEvent) override {
        Post([modemEvent](TComm& comm) {
            if (auto handler = comm.OnModemStateChange) handler(comm, modemEvent);
        });
    }
    void TxEmpty() override {
        Post([](TComm& comm) {
            if (auto handler = comm.OnSendDataEmpty) handler(comm);
        });
    }

private:
    // Handlers run on a copy, so one may destroy the component or reopen it.
    template <typename Deliver>
    void Post(Deliver deliver) {
        mailbox_.Post([alive = alive_, session = session_, deliver = std::move(deliver)] {
            const std::shared_ptr<TComm*> token = alive.lock();
            if (!token || (*token)->session_ != session) return;
            deliver(**token);
        });
    }

    Mailbox& mailbox_;
    const std::weak_ptr<TComm*> alive_;
    const std::uint64_t session_;
};

// Everything that exists exactly while the port is open.
struct CommSession {
    CommSession(Mailbox& mailbox, std::weak_ptr<TComm*> alive, std::uint64_t session)
        : poster(mailbox, std::move(alive), session) {}

    std::unique_ptr<CommBackend> backend = MakeCommBackend();
    ReadOptions readOptions;
    CommPoster poster;
    std::unique_ptr<TReadThread> reader;
    std::unique_ptr<TWriteThread> writer;
};

namespace {
constexpr std::size_t kDriverQueueSize = 4096;
}

TComm::TComm(Mailbox& mailbox) : mailbox_(mailbox), alive_(std::make_shared<TComm*>(this)) {}

TComm::~TComm() { CloseComm(); }

void TComm::OpenComm() {
    if (port_) throw ECommsError(CommStatusMessage(CommStatus::AlreadyOpen));
    auto session = std::make_unique<CommSession>(mailbox_, alive_, session_ + 1);
    CommBackend& backend = *session->backend;
    CommStatus status = backend.Open(commName_);
    if (status == CommStatus::Ok) status = backend.SetQueueSizes(kDriverQueueSize, kDriverQueueSize);
    if (status != CommStatus::Ok) {
        std::string detail = backend.OpenFailureDetail();
        backend.Close();
        throw ECommsError(CommStatusMessage(status), std::move(detail));
    }
    backend.Purge(true, true);
    sendDataEmpty_ = true;
    receivedBytes_ = 0;
    ++session_;
    port_ = std::move(session);
    ApplyCommTimeouts();
    ApplyCommState();
    port_->readOptions.blockEnd = blockEnd_;

    status = backend.CreateStopSignal();
    if (status == CommStatus::Ok) {
        try {
            port_->reader = std::make_unique<TReadThread>(backend, port_->readOptions, port_->poster);
            port_->reader->Start();
        } catch (const std::system_error&) {
            status = CommStatus::ReadThreadFailed;
        }
    }
    if (status == CommStatus::Ok) {
        try {
            port_->writer = std::make_unique<TWriteThread>(backend, sendDataEmpty_, port_->poster);
            port_->writer->Start();
        } catch (const std::system_error&) {
            status = CommStatus::WriteThreadFailed;
        }
    }
    if (status != CommStatus::Ok) {
        CloseComm();
        throw ECommsError(CommStatusMessage(status));
    }
}

void TComm::CloseComm() {
    if (!port_) return;
    ++session_;  // whatever this open still has in the mailbox is dropped
    CommSession& session = *port_;
    // Every wait of both threads ends on this; none can hold the close up.
    session.backend->RaiseStop();
    if (session.writer) session.writer->Stop();
    session.backend->Purge(true, false);
    if (session.reader) session.reader->Join();
    session.backend->Purge(false, true);
    sendDataEmpty_ = true;
    if (session.writer) session.writer->Join();
    sendDataEmpty_ = true;
    session.backend->Close();
    port_.reset();
}

bool TComm::WriteCommBytes(const std::uint8_t* data, std::uint16_t count) {
    if (!port_ || !port_->writer || count == 0 || data == nullptr) return false;
    return port_->writer->Queue(std::vector<std::uint8_t>(data, data + count));
}

bool TComm::SendDataEmpty() const { return sendDataEmpty_; }

bool TComm::IsOpen() const { return port_ != nullptr; }

void TComm::ApplyCommState() {
    if (!port_) return;
    LineSettings s;
    s.baudRate = baudRate_;
    s.parityCheck = parityCheck_;
    s.ctsFlow = outxCtsFlow_;
    s.dsrFlow = outxDsrFlow_;
    s.dtrControl = dtrControl_;
    s.dsrSensitivity = dsrSensitivity_;
    s.txContinueOnXoff = txContinueOnXoff_;
    s.outXonXoff = outxXonXoffFlow_;
    s.inXonXoff = inxXonXoffFlow_;
    s.replaceWhenParityError = replaceWhenParityError_;
    s.rtsControl = rtsControl_;
    s.xonLimit = xonLimit_;
    s.xoffLimit = xoffLimit_;
    s.byteSize = byteSize_;
    s.parity = parity_;
    s.stopBits = stopBits_;
    s.xonChar = xonChar_;
    s.xoffChar = xoffChar_;
    s.replacedChar = replacedChar_;
    port_->backend->Configure(s);  // a refused setting leaves the port as it was
    // The receive thread drops zero bytes itself where the system cannot.
    port_->readOptions.ignoreNullChar = ignoreNullChar_;
}

// The receive thread times its reads by these; a driver that keeps time-outs of its
// own gets all five. The transmit thread writes each block until all of it is out.
void TComm::ApplyCommTimeouts() {
    if (!port_) return;
    port_->readOptions.intervalTimeout = readIntervalTimeout_;
    port_->readOptions.totalMultiplier = readTotalTimeoutMultiplier_;
    port_->readOptions.totalConstant = readTotalTimeoutConstant_;
    port_->backend->SetTimeouts({readIntervalTimeout_, readTotalTimeoutMultiplier_,
                                 readTotalTimeoutConstant_, writeTotalTimeoutMultiplier_,
                                 writeTotalTimeoutConstant_});
}

template <typename T>
void TComm::SetState(T& field, T value) {
    if (field == value) return;
    field = value;
    ApplyCommState();
}

template <typename T>
void TComm::SetTimeout(T& field, T value) {
    if (field == value) return;
    field = value;
    ApplyCommTimeouts();
}

void TComm::SetBaudRate(std::uint32_t value) { SetState(baudRate_, value); }
void TComm::SetParityCheck(bool value) { SetState(parityCheck_, value); }
void TComm::SetOutx_CtsFlow(bool value) { SetState(outxCtsFlow_, value); }
void TComm::SetOutx_DsrFlow(bool value) { SetState(outxDsrFlow_, value); }
void TComm::SetDtrControl(TDtrControl value) { SetState(dtrControl_, value); }
void TComm::SetDsrSensitivity(bool value) { SetState(dsrSensitivity_, value); }
void TComm::SetTxContinueOnXoff(bool value) { SetState(txContinueOnXoff_, value); }
void TComm::SetOutx_XonXoffFlow(bool value) { SetState(outxXonXoffFlow_, value); }
void TComm::SetInx_XonXoffFlow(bool value) { SetState(inxXonXoffFlow_, value); }
void TComm::SetReplaceWhenParityError(bool value) { SetState(replaceWhenParityError_, value); }
void TComm::SetIgnoreNullChar(bool value) { SetState(ignoreNullChar_, value); }
void TComm::SetRtsControl(TRtsControl value) { SetState(rtsControl_, value); }
void TComm::SetXonLimit(std::uint16_t value) { SetState(xonLimit_, value); }
void TComm::SetXoffLimit(std::uint16_t value) { SetState(xoffLimit_, value); }
void TComm::SetByteSize(TByteSize value) { SetState(byteSize_, value); }
void TComm::SetStopBits(TStopBits value) { SetState(stopBits_, value); }
void TComm::SetXonChar(char value) { SetState(xonChar_, value); }
void TComm::SetXoffChar(char value) { SetState(xoffChar_, value); }
void TComm::SetReplacedChar(char value) { SetState(replacedChar_, value); }
void TComm::SetReadIntervalTimeout(std::uint32_t value) { SetTimeout(readIntervalTimeout_, value); }
void TComm::SetReadTotalTimeoutMultiplier(std::uint32_t value) {
    SetTimeout(readTotalTimeoutMultiplier_, value);
}
void TComm::SetReadTotalTimeoutConstant(std::uint32_t value) {
    SetTimeout(readTotalTimeoutConstant_, value);
}
void TComm::SetWriteTotalTimeoutMultiplier(std::uint32_t value) {
    SetTimeout(writeTotalTimeoutMultiplier_, value);
}
void TComm::SetWriteTotalTimeoutConstant(std::uint32_t value) {
    SetTimeout(writeTotalTimeoutConstant_, value);
}

void ApplyComm1Settings(TComm& comm) {
    comm.SetBaudRate(115200);
    comm.SetDtrControl(TDtrControl::DtrDisable);
    comm.SetTxContinueOnXoff(false);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetRtsControl(TRtsControl::RtsDisable);
    comm.SetReadIntervalTimeout(30);
}

}  // namespace quorvane
