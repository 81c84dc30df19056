#include "app/form1.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <utility>

#include "app/block_reader.h"
#include "app/control_place.h"
#include "app/port_loss.h"
#include "app/window_model.h"
#include "blocks/blocks.h"
#include "blocks/convert.h"
#include "link/engine.h"
#include "link/frame_assembler.h"
#include "link/traffic.h"
#include "serial/comm.h"
#include "serial/port_list.h"
#include "settings/file_replace.h"
#include "settings/settings_file.h"

namespace quorvane {

namespace {

constexpr const char* kSettingsFilter = "*.ini|*.ini";
constexpr std::uint32_t kBaudRate = 115200;

void EnableAll(Form& form, const std::vector<std::string>& names, bool enabled) {
    for (const std::string& name : names) form.SetEnabled(name, enabled);
}

using Handler = void (*)(TForm1&);

// Every button's click handler, by the name the window model gives it.
const std::map<std::string, Handler, std::less<>>& ButtonHandlers() {
    static const std::map<std::string, Handler, std::less<>> handlers = {
        {"OpenPortClick", [](TForm1& w) { w.OpenPortClick(); }},
        {"ReadAllClick", [](TForm1& w) { w.Engine().ReadAllClick(); }},
        {"WriteAllClick", [](TForm1& w) { w.Engine().WriteAllClick(); }},
        {"InitAllClick", [](TForm1& w) { w.Engine().InitAllClick(); }},
        {"GPRSWriteClick", [](TForm1& w) { w.Engine().GPRSWriteClick(); }},
        {"MainSetWriteClick", [](TForm1& w) { w.Engine().MainSetWriteClick(); }},
        {"InterfaceWriteClick", [](TForm1& w) { w.Engine().InterfaceWriteClick(); }},
        {"Temp_WriteClick", [](TForm1& w) { w.Engine().Temp_WriteClick(); }},
        {"SMSWriteClick", [](TForm1& w) { w.Engine().SMSWriteClick(); }},
        {"GEOFenceWriteClick", [](TForm1& w) { w.Engine().GEOFenceWriteClick(); }},
        {"EventWriteClick", [](TForm1& w) { w.Engine().EventWriteClick(); }},
        {"GPRSReadClick", [](TForm1& w) { w.Engine().GPRSReadClick(); }},
        {"MainSetReadClick", [](TForm1& w) { w.Engine().MainSetReadClick(); }},
        {"InterfaceReadClick", [](TForm1& w) { w.Engine().InterfaceReadClick(); }},
        {"Temp_ReadClick", [](TForm1& w) { w.Engine().Temp_ReadClick(); }},
        {"SMSReadClick", [](TForm1& w) { w.Engine().SMSReadClick(); }},
        {"GEOFenceReadClick", [](TForm1& w) { w.Engine().GEOFenceReadClick(); }},
        {"EventReadClick", [](TForm1& w) { w.Engine().EventReadClick(); }},
        {"ClearGPRS1Click", [](TForm1& w) { w.Engine().ClearGPRS1Click(); }},
        {"ClearGPRS2Click", [](TForm1& w) { w.Engine().ClearGPRS2Click(); }},
        {"ClearSMSClick", [](TForm1& w) { w.Engine().ClearSMSClick(); }},
        {"ClearGPSLogClick", [](TForm1& w) { w.Engine().ClearGPSLogClick(); }},
        {"SetMileageClick", [](TForm1& w) { w.Engine().SetMileageClick(); }},
        {"SET_IDClick", [](TForm1& w) { w.Engine().SET_IDClick(); }},
        {"DEL_IDClick", [](TForm1& w) { w.Engine().DEL_IDClick(); }},
        {"CHK_IDClick", [](TForm1& w) { w.Engine().CHK_IDClick(); }},
        {"Temp_PairClick", [](TForm1& w) { w.Engine().Temp_PairClick(); }},
    };
    return handlers;
}

// Every block, in the order "Read All" reads them.
const std::vector<BlockId>& AllBlocks() {
    static const std::vector<BlockId> blocks = {BlockId::Gprs,        BlockId::Main, BlockId::MainExt,
                                                BlockId::Interface,   BlockId::Temperature,
                                                BlockId::Sms,         BlockId::GeoFence, BlockId::Event};
    return blocks;
}

// The handlers that write to the tracker, and the encoders that must succeed before
// a backup is worth taking.
struct WriteHandler {
    const char* handler;
    std::vector<void (*)(const Form&, TxPayload&)> encoders;
};

const std::vector<WriteHandler>& WriteHandlers() {
    static const std::vector<WriteHandler> handlers = {
        {"WriteAllClick",
         {EncodeGprsBlock, EncodeMainBlock, EncodeMainExtBlock, EncodeInterfaceBlock, EncodeTemperatureBlock,
          EncodeSmsBlock, EncodeGeoFenceBlock, EncodeEventBlock}},
        {"GPRSWriteClick", {EncodeGprsBlock}},
        {"MainSetWriteClick", {EncodeMainBlock, EncodeMainExtBlock}},
        {"InterfaceWriteClick", {EncodeInterfaceBlock}},
        {"Temp_WriteClick", {EncodeTemperatureBlock}},
        {"SMSWriteClick", {EncodeSmsBlock}},
        {"GEOFenceWriteClick", {EncodeGeoFenceBlock}},
        {"EventWriteClick", {EncodeEventBlock}},
        {"InitAllClick", {}},
    };
    return handlers;
}

const WriteHandler* FindWriteHandler(std::string_view handler) {
    for (const WriteHandler& w : WriteHandlers())
        if (handler == w.handler) return &w;
    return nullptr;
}

}  // namespace

struct TForm1::Impl {
    Impl(TForm1& owner, Form& f, Ui& u, Mailbox& mailbox, std::string dir)
        : form(f),
          ui(u),
          programDir(std::move(dir)),
          comm(mailbox),
          engine(f, u, [this](const std::uint8_t* data, std::uint16_t count) { return Write(data, count); },
                 [this] { return settingsLoaded; }) {
        ApplyComm1Settings(comm);
        // An answer is acted on as soon as its last byte is in, not after the line
        // has been quiet for the read interval; stray bytes still wait for it.
        comm.SetBlockEnd(EndsWithCompleteFrame);
        comm.OnReceiveData = [this, &owner](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            if (!portOpen) return;
            owner.Guard([&] {
                if (reader) {
                    reader->Receive(std::span(buffer, length));
                    FinishSideIfDone();
                } else {
                    engine.Comm1ReceiveData(buffer, length);
                }
            });
        };
        // A failed read or write, or the far end gone: the one signal of a lost port.
        comm.OnRequestHangup = [&owner](TComm&) { owner.Guard([&owner] { owner.PortLost(); }); };
        engine.SetTraffic(&traffic);
        engine.SetCompletionHook(
            [this](bool write, const std::vector<BlockId>& blocks) { OnCompleted(write, blocks); });
    }

    // Every frame to the port passes here; the data of block writes is noted for the
    // verification that may follow.
    bool Write(const std::uint8_t* data, std::uint16_t count) {
        constexpr std::size_t kCommand = 4;
        constexpr std::size_t kPayload = 5;
        if (count > kPayload + 2 && data[kCommand] == CmdWriteBlock) {
            const std::span<const std::uint8_t> payload(data + kPayload, count - kPayload - 2);
            if (const auto id = WrittenBlock(payload))
                sent[*id] = std::vector<std::uint8_t>(payload.begin() + kBlockHeaderLength, payload.end());
        }
        return comm.WriteCommBytes(data, count);
    }

    using SideDone = std::function<void(const BlockReader&)>;

    // Starts a read of `blocks` beside the window; `done` runs once it has ended.
    void StartSide(std::vector<BlockId> blocks, SideDone done) {
        reader = std::make_unique<BlockReader>(
            [this](const std::uint8_t* data, std::uint16_t count) {
                const bool taken = comm.WriteCommBytes(data, count);
                if (traffic.Enabled()) traffic.RecordFrame(TrafficDirection::Sent, {data, count}, !taken);
                return taken;
            },
            std::move(blocks));
        reader->SetTraffic(&traffic);
        sideDone = std::move(done);
        reader->Start();
        FinishSideIfDone();
    }

    void FinishSideIfDone() {
        if (!reader || !reader->Done()) return;
        const std::unique_ptr<BlockReader> ended = std::move(reader);
        const SideDone done = std::move(sideDone);
        sideDone = nullptr;
        if (done) done(*ended);
    }

    // The port closed under a side read: it ends as a read that got no answer.
    void AbandonSide() {
        if (!reader) return;
        const std::unique_ptr<BlockReader> ended = std::move(reader);
        sideDone = nullptr;
    }

    void OnCompleted(bool write, const std::vector<BlockId>& blocks) {
        baseline.Take(form, blocks);
        if (!write) {
            sourceFirmware = form.Text("Firmware");
            sourceImei = form.Text("IMEI");
        }
        if (write) {
            lastWritten.clear();
            for (BlockId id : blocks)
                if (const auto it = sent.find(id); it != sent.end()) lastWritten.insert(*it);
        }
        ui.ChangesUpdated();
        if (write && options.verifyAfterWrite) StartVerify(nullptr);
    }

    // Reads back what the last write sent and reports the comparison; `done` gets
    // whether the read back completed.
    bool StartVerify(std::function<void(bool)> done) {
        if (lastWritten.empty()) return false;
        ui.SetStatusText(1, "Verifying...");
        std::vector<BlockId> toRead;
        for (const auto& entry : lastWritten) toRead.push_back(entry.first);
        StartSide(std::move(toRead), [this, written = lastWritten, done = std::move(done)](const BlockReader& r) {
            const bool read = r.Error().empty();
            if (!read) {
                lastVerify.reset();
                ui.SetStatusText(1, "Verify Error");
                ui.ShowError("Verify failed: the tracker could not be read back (" + r.Error() + ")");
            } else {
                lastVerify = VerifyWrite(written, r.Answers());
                ui.SetStatusText(1, lastVerify->Same() ? "Verify OK" : "Verify failed");
                ui.ShowVerifyResult(*lastVerify);
            }
            if (done) done(read);
        });
        return true;
    }

    // Reads the whole configuration and saves it as a backup; `done` gets whether it
    // was saved. Otherwise the user is told why and that nothing was written.
    void StartBackup(std::function<void(bool)> done) {
        ui.SetStatusText(1, "Backing up...");
        StartSide(AllBlocks(), [this, done = std::move(done)](const BlockReader& r) {
            if (!r.Error().empty()) {
                ui.SetStatusText(1, "Backup Error");
                ui.ShowError("Backup failed: the tracker's configuration could not be read (" + r.Error() +
                             "). Nothing was written.");
                done(false);
                return;
            }
            MemoryForm copy;
            DecodeAnswers(copy, r.Answers());
            const auto path = NewBackupPath(options.backupFolder, form.Text("IMEI"), std::chrono::system_clock::now());
            try {
                SaveBackup(copy, path, options.keepBackups);
            } catch (const std::exception& e) {
                ui.SetStatusText(1, "Backup Error");
                ui.ShowError(std::string("Backup failed: ") + e.what() + ". Nothing was written.");
                done(false);
                return;
            }
            lastBackup = path.string();
            ui.BackupSaved(*lastBackup);
            done(true);
        });
    }

    // The backup read must not meet the answer of an operation still under way.
    bool RefuseBackupWhileBusy() {
        const EngineState& state = engine.State();
        if (state.OperationState == OpIdle || state.DeviceIdPending) return false;
        ui.ShowError("Backup failed: the tracker is busy with another operation. Nothing was written.");
        return true;
    }

    PortSource& Ports() {
        if (!portSource) portSource = MakeSystemPortSource();
        return *portSource;
    }
    // What the system knows of the port named `name` now; the bare name when nothing.
    PortInfo Identify(const std::string& name) {
        for (PortInfo& port : Ports().List()) {
            if (port.name == name || "/dev/" + port.name == name) return port;
        }
        PortInfo info;
        info.name = name;
        return info;
    }
    void TryReconnect(TForm1& owner);

    Form& form;
    Ui& ui;
    std::string programDir;
    std::string userConfigDir;
    TComm comm;
    bool portOpen = false;
    bool settingsLoaded = false;
    TransactionEngine engine;
    std::function<std::vector<std::string>()> listPorts = [] { return ListSerialPorts(); };

    TrafficRecorder traffic;
    std::shared_ptr<PortSource> portSource;
    PortInfo openedPort;        // identity of the port opened last
    bool lost = false;          // a lost port is awaited
    std::string lostName;
    std::string lostDuring;
    bool lossBoxOpen = false;
    bool reconnectAutomatically = true;
    bool reconnecting = false;
    WriteSafetyOptions options;
    Baseline baseline;
    std::string sourceFirmware, sourceImei;  // the tracker the window's values were last read from
    SentBlocks sent;                          // data of the block writes since the last write click
    SentBlocks lastWritten;                   // what the last completed write sent
    std::unique_ptr<BlockReader> reader;      // a side read under way
    SideDone sideDone;
    std::optional<Comparison> lastVerify;
    std::optional<std::string> lastBackup;
};

TForm1::TForm1(Form& form, Ui& ui, Mailbox& mailbox, std::string programDir)
    : impl_(std::make_unique<Impl>(*this, form, ui, mailbox, std::move(programDir))) {}

TForm1::~TForm1() {
    impl_->comm.OnReceiveData = nullptr;
    impl_->comm.OnRequestHangup = nullptr;
    impl_->comm.CloseComm();
}

void TForm1::FormCreate() {
    Impl& m = *impl_;
    EnableAll(m.form, LinkButtons(), false);
    m.ui.SetStatusText(0, "Disconnect");
    m.ui.SetStatusText(1, "Idle");
    EnableAll(m.form, DisabledAtCreate(), false);
    m.settingsLoaded = false;
    m.ui.SetWindowCaption(kCaption);

    // The form's list is empty, so appending the ports gives exactly them.
    const std::vector<std::string> ports = m.listPorts();
    m.form.SetText("ComboBox1", ports.empty() ? std::string("None") : ports.front());
    std::vector<std::string> items = m.form.Items("ComboBox1");
    items.insert(items.end(), ports.begin(), ports.end());
    m.form.SetItems("ComboBox1", std::move(items));

    // The program's folder first; an installed program keeps it in the user's folder.
    if (LoadSettingsFile(m.form, m.programDir + kStartupSettingsName) ||
        (!m.userConfigDir.empty() && LoadSettingsFile(m.form, m.userConfigDir + kStartupSettingsName)))
        m.settingsLoaded = true;
}

// Setting the items keeps the shown text, also when no port is found.
void TForm1::ComboBox1DropDown() { impl_->form.SetItems("ComboBox1", impl_->listPorts()); }

void TForm1::OpenPortClick() {
    Impl& m = *impl_;
    if (!m.portOpen) {
        m.comm.SetCommName(m.form.Text("ComboBox1"));
        m.comm.SetBaudRate(kBaudRate);
        m.comm.OpenComm();  // raises ECommsError; nothing below changes then
        m.portOpen = true;
        m.traffic.MarkPortOpened();
        m.openedPort = m.Identify(m.comm.CommName());
        m.lost = false;
        m.reconnecting = false;
        m.form.SetCaption("OpenPort", "Close");
        EnableAll(m.form, LinkButtons(), true);
        m.engine.SetConnectPollCount(kConnectPollReload);
    } else {
        m.comm.CloseComm();
        m.engine.DiscardReceived();
        m.AbandonSide();
        m.portOpen = false;
        m.form.SetCaption("OpenPort", "Open");
        EnableAll(m.form, LinkButtons(), false);
        m.ui.SetStatusText(0, "Disconnect");
        m.ui.SetStatusText(1, "Idle");
        m.engine.SetConnectPollCount(0);
    }
}

void TForm1::Timer1Timer() {
    // After a reconnect the tracker's answer ends "Reconnecting...".
    if (impl_->reconnecting && impl_->ui.StatusText(0) == "Connected") {
        impl_->reconnecting = false;
        if (impl_->ui.StatusText(1) == "Reconnecting...") impl_->ui.SetStatusText(1, "Idle");
    }
    TransactionEngine& engine = impl_->engine;
    std::uint8_t count = engine.State().ConnectPollCount;
    if (count == 0) return;
    engine.SetConnectPollCount(--count);
    if (count != 0) return;
    // A conversion error leaves the poll stopped: it is re-armed only after a send.
    engine.SendConnectRequest();
    engine.SetConnectPollCount(kConnectPollReload);
}

void TForm1::Timer2Timer() {
    Impl& m = *impl_;
    if (m.reader) {
        m.reader->Tick();
        m.FinishSideIfDone();
        return;
    }
    m.engine.Timer2Timer();
    m.TryReconnect(*this);
}

void TForm1::Exit1Click() {
    Impl& m = *impl_;
    m.comm.CloseComm();
    m.engine.DiscardReceived();
    m.AbandonSide();
    m.portOpen = false;
    m.ui.CloseWindow();
}

void TForm1::VisitWebsite1Click() { impl_->ui.OpenUrl(kWebsite); }

void TForm1::FormMouseWheel(int wheelDelta, bool& handled) {
    // The window's own wheel handling runs as well: `handled` stays as it is.
    (void)handled;
    impl_->ui.ScrollEventBox(wheelDelta < 0 ? 1 : -1);
}

void TForm1::SavetSettings1Click() {
    Impl& m = *impl_;
    std::string folder = m.programDir;
    if (!m.userConfigDir.empty() && !CanCreateFileIn(m.programDir) && PrepareFolder(m.userConfigDir))
        folder = m.userConfigDir;
    const auto path = m.ui.ChooseSaveFile(folder + kStartupSettingsName, kSettingsFilter);
    if (path) SaveSettingsFile(m.form, *path);
}

void TForm1::LoadSettings1Click() {
    Impl& m = *impl_;
    const auto path = m.ui.ChooseOpenFile(kSettingsFilter);
    if (path && LoadSettingsFile(m.form, *path)) {
        ReadBackupSection(m.form, *path, BackupKeys());  // a backup's own controls; nothing for other files
        m.settingsLoaded = true;
        m.ui.ChangesUpdated();
    }
}

bool TForm1::Click(std::string_view handler) {
    const auto& handlers = ButtonHandlers();
    const auto it = handlers.find(handler);
    if (it == handlers.end()) return false;
    Impl& m = *impl_;
    if (m.reader) return false;  // a backup, verification or compare read owns the line
    const WriteHandler* write = FindWriteHandler(handler);
    if (write != nullptr) m.sent.clear();
    if (write != nullptr && m.options.backUpBeforeWriting && m.portOpen) {
        // A write its own encoders would refuse is refused before the backup.
        TxPayload scratch;
        for (const auto encode : write->encoders) encode(m.form, scratch);
        if (m.RefuseBackupWhileBusy()) return true;
        m.StartBackup([this, handler = it->second](bool saved) {
            if (!saved) return;
            impl_->sent.clear();
            handler(*this);
        });
        return true;
    }
    it->second(*this);
    return true;
}

void TForm1::Guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const ECommsError& e) {
        // Why the system refused comes beside the component's own message.
        impl_->ui.ShowError(e.Detail().empty() ? std::string(e.what()) : std::string(e.what()) + "\n" + e.Detail());
    } catch (const EConvertError& e) {
        std::optional<ControlPlace> place;
        if (!e.Control().empty()) place = PlaceOfControl(e.Control());
        if (!place) {
            impl_->ui.ShowError(e.what());
            return;
        }
        place->visible = impl_->form.Visible(place->control);
        impl_->ui.ShowControlError(e.what(), *place);
    } catch (const std::exception& e) {
        // ECommsError, EConvertError, ESettingsFileError, ERfidListTooLong and the rest.
        impl_->ui.ShowError(e.what());
    } catch (...) {
        impl_->ui.ShowError("Unknown error");
    }
}

bool TForm1::PortOpen() const { return impl_->portOpen; }
std::uint8_t TForm1::ConnectPollCount() const { return impl_->engine.State().ConnectPollCount; }
bool TForm1::SettingsLoaded() const { return impl_->settingsLoaded; }
TComm& TForm1::Comm1() { return impl_->comm; }
TransactionEngine& TForm1::Engine() { return impl_->engine; }
const TransactionEngine& TForm1::Engine() const { return impl_->engine; }

void TForm1::SetUserConfigDir(std::string dir) { impl_->userConfigDir = std::move(dir); }
void TForm1::SetWriteSafety(WriteSafetyOptions options) { impl_->options = std::move(options); }
const WriteSafetyOptions& TForm1::WriteSafety() const { return impl_->options; }
bool TForm1::SideReadActive() const { return impl_->reader != nullptr; }

bool TForm1::Busy() const {
    const EngineState& s = impl_->engine.State();
    return impl_->reader != nullptr || s.OperationState != OpIdle || s.DeviceIdPending || s.TimeoutCount != 0;
}

bool TForm1::BackUp(std::function<void(bool saved)> done) {
    Impl& m = *impl_;
    if (!m.portOpen || m.reader || m.RefuseBackupWhileBusy()) return false;
    m.StartBackup(std::move(done));
    return true;
}

bool TForm1::VerifyLastWrite(std::function<void(bool read)> done) {
    Impl& m = *impl_;
    if (!m.portOpen || Busy()) return false;
    return m.StartVerify(std::move(done));
}

bool TForm1::ReadTrackerForm(TrackerReadDone done) {
    Impl& m = *impl_;
    if (!m.portOpen) {
        m.ui.ShowError("The port is not open");
        return false;
    }
    if (Busy()) {
        m.ui.ShowError("The tracker is busy; try again when the operation has ended");
        return false;
    }
    m.StartSide(AllBlocks(), [this, done = std::move(done)](const BlockReader& r) {
        TrackerRead result;
        if (!r.Error().empty()) {
            result.error = "Could not read the tracker (" + r.Error() + ")";
            impl_->ui.ShowError(result.error);
        } else {
            result.ok = true;
            result.form = std::make_shared<MemoryForm>();
            DecodeAnswers(*result.form, r.Answers());
            result.answers = r.Answers();
        }
        if (done) done(result);
    });
    return true;
}

bool TForm1::CompareWithTracker(CompareDone done) {
    return ReadTrackerForm([this, done = std::move(done)](const TrackerRead& read) {
        Impl& m = *impl_;
        TrackerComparison result;
        result.ok = read.ok;
        result.error = read.error;
        if (read.ok) {
            result.tracker = read.form;
            result.comparison = CompareForms(m.form, *read.form, CompareScope::Tracker);
            const std::string firmware = m.form.Text("Firmware");
            const std::string imei = m.form.Text("IMEI");
            if (!m.sourceFirmware.empty() || !m.sourceImei.empty()) {
                if (m.sourceFirmware != firmware || m.sourceImei != imei) {
                    result.otherDevice = true;
                    result.deviceNote = "The window's values were read from tracker " + m.sourceImei + " (" +
                                        m.sourceFirmware + "); the tracker connected is " + imei + " (" + firmware +
                                        ")";
                }
            }
        }
        if (done) done(result);
    });
}

Comparison TForm1::CompareWithFile(const std::string& path) const {
    return CompareWithSettingsFile(impl_->form, path);
}

void TForm1::TakeIntoWindow(const Form& from, const std::vector<std::string>& controls) {
    CopyControls(from, impl_->form, controls);
    impl_->ui.ChangesUpdated();
}

void TForm1::LoadBackup(const std::string& path) {
    Impl& m = *impl_;
    (void)ReadSettingsFileForm(path);  // refuses a missing or foreign file before the window changes
    if (LoadSettingsFile(m.form, path)) {
        ReadBackupSection(m.form, path, BackupKeys());
        m.settingsLoaded = true;
        m.ui.ChangesUpdated();
    }
}

const std::optional<Comparison>& TForm1::LastVerify() const { return impl_->lastVerify; }
const std::optional<std::string>& TForm1::LastBackupPath() const { return impl_->lastBackup; }
const Baseline& TForm1::Changes() const { return impl_->baseline; }
std::vector<std::string> TForm1::ChangedControls() const { return impl_->baseline.ChangedControls(impl_->form); }
std::vector<std::string> TForm1::ChangedTabs() const { return impl_->baseline.ChangedTabs(impl_->form); }

void TForm1::SetPortLister(std::function<std::vector<std::string>()> lister) {
    impl_->listPorts = std::move(lister);
}

// --- the line: traffic, a lost port, reconnecting ---------------------------------

TrafficRecorder& TForm1::Traffic() { return impl_->traffic; }

void TForm1::SetPortSource(std::shared_ptr<PortSource> source) { impl_->portSource = std::move(source); }
PortSource& TForm1::PortSourceInUse() { return impl_->Ports(); }

void TForm1::PortLost() {
    Impl& m = *impl_;
    if (!m.portOpen) return;
    const std::string port = m.comm.CommName();
    const std::string during = m.reader ? std::string(kBackgroundRead)
                                        : InFlightName(m.engine.State(), m.ui.StatusText(0) == "Connected");
    // No time-out report may follow for what was in flight: the port is gone.
    m.engine.AbandonOperation();
    OpenPortClick();  // closes as the Close button does
    m.ui.SetStatusText(1, "Port lost");
    m.lost = true;
    m.lostName = port;
    m.lostDuring = during;
    m.reconnecting = false;
    if (OnPortLost) OnPortLost(port, during);
    // The box may run a nested loop that ticks Timer2: no reconnect while it is open.
    struct BoxOpen {
        bool& flag;
        explicit BoxOpen(bool& f) : flag(f) { flag = true; }
        ~BoxOpen() { flag = false; }
        BoxOpen(const BoxOpen&) = delete;
        BoxOpen& operator=(const BoxOpen&) = delete;
    } box(m.lossBoxOpen);
    m.ui.Notice(PortLostText(port, during));
}

void TForm1::Impl::TryReconnect(TForm1& owner) {
    if (!lost || !reconnectAutomatically || lossBoxOpen || portOpen) return;
    const std::vector<PortInfo> ports = Ports().List();
    const auto found = std::find_if(ports.begin(), ports.end(),
                                    [this](const PortInfo& p) { return openedPort.SameDevice(p); });
    if (found == ports.end()) return;
    const PortInfo& device = *found;
    form.SetText("ComboBox1", device.name);
    try {
        owner.OpenPortClick();
    } catch (const ECommsError&) {
        return;  // busy while the system probes the new device, or gone again: next tick
    }
    openedPort = device;
    reconnecting = true;
    ui.SetStatusText(1, "Reconnecting...");
}

bool TForm1::PortLostState() const { return impl_->lost; }
const std::string& TForm1::LostPortName() const { return impl_->lostName; }
const std::string& TForm1::LostDuring() const { return impl_->lostDuring; }
bool TForm1::LossBoxOpen() const { return impl_->lossBoxOpen; }
bool TForm1::ReconnectAutomatically() const { return impl_->reconnectAutomatically; }
void TForm1::SetReconnectAutomatically(bool on) { impl_->reconnectAutomatically = on; }
bool TForm1::Reconnecting() const {
    const Impl& m = *impl_;
    return m.reconnecting && m.portOpen && m.ui.StatusText(0) != "Connected";
}

}  // namespace quorvane
