#include "app/form1.h"

#include <exception>
#include <map>
#include <optional>
#include <utility>

#include "model/control_place.h"
#include "model/window_model.h"
#include "blocks/blocks.h"
#include "blocks/convert.h"
#include "link/engine.h"
#include "link/frame_assembler.h"
#include "link/traffic.h"
#include "serial/comm.h"
#include "serial/port_list.h"
#include "platform/system.h"
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

// The Ui as the window's logic uses it: every call goes on to the front end's Ui, and
// what was shown is noted as state of its own (the tracker answered, panel 1 changed),
// so nothing is read back from the status bar.
class NotingUi final : public Ui {
public:
    explicit NotingUi(Ui& ui) : ui_(ui) {}

    // Only the engine writes panel 0 through here, when the tracker's frame arrives.
    bool Connected() const { return connected_; }
    void Disconnected() { connected_ = false; }
    // Told before each text panel 1 shows.
    std::function<void()> OnPanel1;

    void SetStatusText(int panel, std::string_view text) override {
        if (panel == 0) connected_ = true;
        if (panel == 1 && OnPanel1) OnPanel1();
        ui_.SetStatusText(panel, text);
    }
    std::string StatusText(int panel) const override { return ui_.StatusText(panel); }
    void Notice(std::string_view text) override { ui_.Notice(text); }
    bool Confirm(std::string_view question) override { return ui_.Confirm(question); }
    void ShowError(std::string_view message) override { ui_.ShowError(message); }
    void ShowControlError(std::string_view message, const ControlPlace& place) override {
        ui_.ShowControlError(message, place);
    }
    std::optional<std::string> ChooseOpenFile(std::string_view filter) override { return ui_.ChooseOpenFile(filter); }
    std::optional<std::string> ChooseSaveFile(std::string_view presetPath, std::string_view filter) override {
        return ui_.ChooseSaveFile(presetPath, filter);
    }
    void SetWindowCaption(std::string_view caption) override { ui_.SetWindowCaption(caption); }
    void OpenUrl(std::string_view url) override { ui_.OpenUrl(url); }
    void CloseWindow() override { ui_.CloseWindow(); }
    void ScrollEventBox(int lines) override { ui_.ScrollEventBox(lines); }

private:
    Ui& ui_;
    bool connected_ = false;
};

std::vector<std::string> PortNames(PortSource& source) {
    std::vector<std::string> names;
    for (PortInfo& port : source.List()) names.push_back(std::move(port.name));
    return names;
}

}  // namespace

struct TForm1::Impl {
    Impl(TForm1& owner, Form& f, Ui& u, Mailbox& mailbox, std::string dir)
        : form(f),
          frontUi(u),
          ui(u),
          programDir(std::move(dir)),
          comm(mailbox),
          engine(f, ui, [this](const std::uint8_t* data, std::uint16_t count) { return Write(data, count); },
                 [this] { return settingsLoaded; }),
          safety(owner, f, ui, traffic,
                 [this](const std::uint8_t* data, std::uint16_t count) { return comm.WriteCommBytes(data, count); },
                 [this] { settingsLoaded = true; }),
          watch(owner, f, ui) {
        ApplyComm1Settings(comm);
        // An answer is acted on as soon as its last byte is in, not after the line
        // has been quiet for the read interval; stray bytes still wait for it.
        comm.SetBlockEnd(EndsWithCompleteFrame);
        comm.OnReceiveData = [this, &owner](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            if (!portOpen) return;
            owner.Guard([&] {
                if (safety.SideReadActive())
                    safety.Receive(std::span(buffer, length));
                else
                    engine.Comm1ReceiveData(buffer, length);
            });
        };
        // A failed read or write, or the far end gone: the one signal of a lost port.
        comm.OnRequestHangup = [this, &owner](TComm&) { owner.Guard([this] { watch.PortLost(); }); };
        ui.OnPanel1 = [this] { watch.Panel1Changed(); };
        engine.SetTraffic(&traffic);
        // A restart is said in panel 1; a cleared buffer's counter shows what the tracker holds now.
        engine.AddResultHook([this](const OperationResult& r) {
            // A restart cuts the operation short without a report of its own: panel 1 says so.
            if (r.outcome == Outcome::Restarted) ui.SetStatusText(1, RestartedText(r));
            if (r.outcome != Outcome::Completed) return;
            if (const auto counter = CounterClearedBy(r.op)) form.SetText(*counter, ClearedCounter(form.Text(*counter)));
        });
        engine.SetArrivedHook([this](bool write, const std::vector<BlockId>& blocks) { safety.Arrived(write, blocks); });
        engine.SetCompletionHook(
            [this](bool write, const std::vector<BlockId>& blocks) { safety.Completed(write, blocks); });
    }

    // Every frame of the engine's passes here; the data of block writes is noted for
    // the verification that may follow.
    bool Write(const std::uint8_t* data, std::uint16_t count) {
        safety.NoteSent(std::span(data, count));
        return comm.WriteCommBytes(data, count);
    }

    // The port closed: what was awaited is dropped.
    void Closed() {
        engine.DiscardReceived();
        safety.Abandon();
        portOpen = false;
        ui.Disconnected();
    }

    Form& form;
    Ui& frontUi;  // panel 0's "Disconnect" goes here: only the engine's "Connected" is noted
    NotingUi ui;
    std::string programDir;
    std::string userConfigDir;
    TComm comm;
    bool portOpen = false;
    bool settingsLoaded = false;
    Questions questions;
    bool mayQuit = false;
    TransactionEngine engine;
    TrafficRecorder traffic;
    WriteSafety safety;
    PortWatch watch;
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
    m.frontUi.SetStatusText(0, "Disconnect");
    m.ui.SetStatusText(1, "Idle");
    EnableAll(m.form, DisabledAtCreate(), false);
    m.settingsLoaded = false;
    m.ui.SetWindowCaption(kCaption);

    // The form's list is empty, so appending the ports gives exactly them.
    const std::vector<std::string> ports = PortNames(m.watch.Ports());
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
void TForm1::ComboBox1DropDown() { impl_->form.SetItems("ComboBox1", PortNames(impl_->watch.Ports())); }

void TForm1::OpenPortClick() {
    Impl& m = *impl_;
    if (!m.portOpen) {
        m.comm.SetCommName(m.form.Text("ComboBox1"));
        m.comm.SetBaudRate(kBaudRate);
        m.comm.OpenComm();  // raises ECommsError; nothing below changes then
        m.portOpen = true;
        m.traffic.MarkPortOpened();
        m.watch.Opened(m.comm.CommName());
        m.form.SetCaption("OpenPort", "Close");
        EnableAll(m.form, LinkButtons(), true);
        m.engine.SetConnectPollCount(kConnectPollReload);
    } else {
        m.comm.CloseComm();
        m.Closed();
        m.form.SetCaption("OpenPort", "Open");
        EnableAll(m.form, LinkButtons(), false);
        m.frontUi.SetStatusText(0, "Disconnect");
        m.ui.SetStatusText(1, "Idle");
        m.engine.SetConnectPollCount(0);
    }
}

void TForm1::Timer1Timer() {
    Impl& m = *impl_;
    m.watch.Tick10ms();
    // The poll waits while a side read has the line: its answer would not be the read's.
    if (m.safety.SideReadActive()) return;
    TransactionEngine& engine = m.engine;
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
    if (m.safety.SideReadActive()) {
        m.safety.Tick();
        return;
    }
    m.engine.Timer2Timer();
    m.watch.Tick1s();
}

void TForm1::Exit1Click() {
    Impl& m = *impl_;
    if (!MayQuit()) return;
    m.comm.CloseComm();
    m.Closed();
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
    if (path && LoadSettingsFile(m.form, *path)) m.safety.Loaded(*path);
}

bool TForm1::Click(std::string_view handler) {
    const auto& handlers = ButtonHandlers();
    const auto it = handlers.find(handler);
    if (it == handlers.end()) return false;
    Impl& m = *impl_;
    if (m.safety.SideReadActive()) return false;  // a backup, verification or compare read owns the line
    if (m.questions.beforeMaintenance && m.portOpen) {
        if (const auto question = LossQuestion(handler, m.form); question && !m.ui.Confirm(*question)) return true;
    }
    m.safety.BeforeWrite(handler, [this, run = it->second] { run(*this); });
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
    } catch (const ESettingsFileError& e) {
        // Why the file could not be written or read comes beside the described text.
        impl_->ui.ShowError(e.Full());
    } catch (const std::exception& e) {
        // ECommsError, EConvertError, ESettingsFileError, ERfidListTooLong and the rest.
        impl_->ui.ShowError(e.what());
    } catch (...) {
        impl_->ui.ShowError("Unknown error");
    }
}

void TForm1::SetQuestions(Questions questions) { impl_->questions = questions; }
const Questions& TForm1::AskedQuestions() const { return impl_->questions; }

bool TForm1::MayQuit() {
    Impl& m = *impl_;
    if (m.mayQuit || !m.questions.beforeQuit) return true;
    const std::vector<std::string> changed = m.safety.ChangedControls();
    if (!changed.empty() && !m.ui.Confirm(QuitQuestion(changed.size(), m.safety.ChangedTabs()))) return false;
    m.mayQuit = true;
    return true;
}

bool TForm1::PortOpen() const { return impl_->portOpen; }
std::uint8_t TForm1::ConnectPollCount() const { return impl_->engine.State().ConnectPollCount; }
bool TForm1::SettingsLoaded() const { return impl_->settingsLoaded; }
bool TForm1::Connected() const { return impl_->portOpen && impl_->ui.Connected(); }

bool TForm1::Busy() const {
    const EngineState& s = impl_->engine.State();
    return impl_->safety.SideReadActive() || s.OperationState != OpIdle || s.DeviceIdPending || s.TimeoutCount != 0;
}

TComm& TForm1::Comm1() { return impl_->comm; }
TransactionEngine& TForm1::Engine() { return impl_->engine; }
const TransactionEngine& TForm1::Engine() const { return impl_->engine; }
TrafficRecorder& TForm1::Traffic() { return impl_->traffic; }
void TForm1::SetUserConfigDir(std::string dir) { impl_->userConfigDir = std::move(dir); }
WriteSafety& TForm1::Safety() { return impl_->safety; }
const WriteSafety& TForm1::Safety() const { return impl_->safety; }
PortWatch& TForm1::Watch() { return impl_->watch; }
const PortWatch& TForm1::Watch() const { return impl_->watch; }

}  // namespace quorvane
