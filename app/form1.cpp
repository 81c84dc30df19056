#include "app/form1.h"

#include <exception>
#include <map>
#include <optional>
#include <utility>

#include "app/control_place.h"
#include "app/window_model.h"
#include "blocks/convert.h"
#include "link/engine.h"
#include "serial/comm.h"
#include "serial/port_list.h"
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

}  // namespace

struct TForm1::Impl {
    Impl(TForm1& owner, Form& f, Ui& u, Mailbox& mailbox, std::string dir)
        : form(f),
          ui(u),
          programDir(std::move(dir)),
          comm(mailbox),
          engine(
              f, u, [this](const std::uint8_t* data, std::uint16_t count) { return comm.WriteCommBytes(data, count); },
              [this] { return settingsLoaded; }) {
        ApplyComm1Settings(comm);
        comm.OnReceiveData = [this, &owner](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            if (!portOpen) return;
            owner.Guard([&] { engine.Comm1ReceiveData(buffer, length); });
        };
    }

    Form& form;
    Ui& ui;
    std::string programDir;
    TComm comm;
    bool portOpen = false;
    bool settingsLoaded = false;
    TransactionEngine engine;
    std::function<std::vector<std::string>()> listPorts = [] { return ListSerialPorts(); };
};

TForm1::TForm1(Form& form, Ui& ui, Mailbox& mailbox, std::string programDir)
    : impl_(std::make_unique<Impl>(*this, form, ui, mailbox, std::move(programDir))) {}

TForm1::~TForm1() {
    impl_->comm.OnReceiveData = nullptr;
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

    if (LoadSettingsFile(m.form, m.programDir + kStartupSettingsName)) m.settingsLoaded = true;
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
        m.form.SetCaption("OpenPort", "Close");
        EnableAll(m.form, LinkButtons(), true);
        m.engine.SetConnectPollCount(kConnectPollReload);
    } else {
        m.comm.CloseComm();
        m.engine.DiscardReceived();
        m.portOpen = false;
        m.form.SetCaption("OpenPort", "Open");
        EnableAll(m.form, LinkButtons(), false);
        m.ui.SetStatusText(0, "Disconnect");
        m.ui.SetStatusText(1, "Idle");
        m.engine.SetConnectPollCount(0);
    }
}

void TForm1::Timer1Timer() {
    TransactionEngine& engine = impl_->engine;
    std::uint8_t count = engine.State().ConnectPollCount;
    if (count == 0) return;
    engine.SetConnectPollCount(--count);
    if (count != 0) return;
    // A conversion error leaves the poll stopped: it is re-armed only after a send.
    engine.SendConnectRequest();
    engine.SetConnectPollCount(kConnectPollReload);
}

void TForm1::Timer2Timer() { impl_->engine.Timer2Timer(); }

void TForm1::Exit1Click() {
    Impl& m = *impl_;
    m.comm.CloseComm();
    m.engine.DiscardReceived();
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
    const auto path = m.ui.ChooseSaveFile(m.programDir + kStartupSettingsName, kSettingsFilter);
    if (path) SaveSettingsFile(m.form, *path);
}

void TForm1::LoadSettings1Click() {
    Impl& m = *impl_;
    const auto path = m.ui.ChooseOpenFile(kSettingsFilter);
    if (path && LoadSettingsFile(m.form, *path)) m.settingsLoaded = true;
}

bool TForm1::Click(std::string_view handler) {
    const auto& handlers = ButtonHandlers();
    const auto it = handlers.find(handler);
    if (it == handlers.end()) return false;
    it->second(*this);
    return true;
}

void TForm1::Guard(const std::function<void()>& handler) {
    try {
        handler();
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

void TForm1::SetPortLister(std::function<std::vector<std::string>()> lister) {
    impl_->listPorts = std::move(lister);
}

}  // namespace quorvane
