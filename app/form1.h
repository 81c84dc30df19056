// The main window's logic, free of any toolkit: start-up, the port and its connect
// poll, the menus, and every button handler. The Qt window and the command line are
// thin shells around one TForm1; tests drive it headless.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trust/baseline.h"
#include "trust/compare.h"
#include "app/form.h"
#include "app/memory_form.h"
#include "app/ui.h"
#include "trust/write_safety.h"
#include "serial/mailbox.h"

namespace quorvane {

class TComm;
class TransactionEngine;
class TrafficRecorder;
class PortSource;
struct PortInfo;

class TForm1 {
public:
    static constexpr const char* kCaption = "Quorvane_Parameter_Editor_V1.6";
    static constexpr const char* kStartupSettingsName = "Quorvane_Tracker.ini";
    static constexpr const char* kWebsite = "https://quorvane.example.org/";

    // `programDir` is the running program's directory with its trailing separator;
    // the start-up settings file and the save dialog's preset live there.
    TForm1(Form& form, Ui& ui, Mailbox& mailbox, std::string programDir);
    ~TForm1();  // closes the port first
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The window's handlers. Like the window's own handlers they may throw
    // (ECommsError, EConvertError, a settings file error); front ends call them
    // through Guard.
    void FormCreate();
    void ComboBox1DropDown();
    void OpenPortClick();
    void Timer1Timer();  // every 10 ms
    void Timer2Timer();  // every 1000 ms
    void Exit1Click();
    void VisitWebsite1Click();
    void FormMouseWheel(int wheelDelta, bool& handled);
    void SavetSettings1Click();
    void LoadSettings1Click();

    // Runs a button's click handler by its name in the window model ("ReadAllClick",
    // "MainSetWriteClick", ...). False when no button has that handler.
    bool Click(std::string_view handler);

    // Runs `handler`; an error it raises is shown in the application's error box.
    // Every call from an event loop goes through here, so no exception escapes.
    void Guard(const std::function<void()>& handler);

    bool PortOpen() const;
    std::uint8_t ConnectPollCount() const;
    bool SettingsLoaded() const;
    TComm& Comm1();
    TransactionEngine& Engine();
    const TransactionEngine& Engine() const;


    // The user's own configuration folder with its trailing separator (the shell
    // knows where it is); empty for none. The start-up settings file is looked for
    // there after the program's folder, and Save Settings proposes it when the
    // program's folder is not writable (a system-wide install). Set before FormCreate.
    void SetUserConfigDir(std::string dir);
    // --- Write safety: compare, verify, back up, changes -------------------------

    // Off at first. With both off every handler behaves and talks on the line as before.
    void SetWriteSafety(WriteSafetyOptions options);
    const WriteSafetyOptions& WriteSafety() const;

    // True while a backup, verification or compare read is under way. Button clicks
    // are refused then (Click returns false) and the window should disable them.
    bool SideReadActive() const;
    // A backup, verification or compare read, or an engine operation, is awaiting the tracker.
    bool Busy() const;

    // The tracker read into a headless form, the window untouched.
    struct TrackerRead {
        bool ok = false;
        std::string error;                  // shown in the error box already when !ok
        std::shared_ptr<MemoryForm> form;   // every block decoded; null when !ok
        ReadAnswers answers;                // the raw answers
    };
    using TrackerReadDone = std::function<void(const TrackerRead&)>;
    // Reads every block into a separate form and calls `done` once, from the receive
    // or tick handler that ends the read. False, and `done` never called, when the port
    // is closed or the tracker is busy (the reason is shown in the error box). Closing
    // the port abandons the read without calling `done`.
    bool ReadTrackerForm(TrackerReadDone done);

    struct TrackerComparison {
        bool ok = false;
        std::string error;
        Comparison comparison;              // window = this side, tracker = other side
        std::shared_ptr<MemoryForm> tracker;  // for "take selected into window"
        // Set when the window's values were read from another tracker (other IMEI,
        // model or firmware) than the one now connected; `deviceNote` says which.
        bool otherDevice = false;
        std::string deviceNote;
    };
    using CompareDone = std::function<void(const TrackerComparison&)>;
    // "Compare with Tracker": ReadTrackerForm, then CompareForms(window, tracker).
    bool CompareWithTracker(CompareDone done);
    // "Compare with File...": the window against a settings file. Throws
    // ESettingsFileError for a file that cannot be read or is not a settings file.
    Comparison CompareWithFile(const std::string& path) const;
    // "Take selected into window": copies `controls` from `from` (a compare's other
    // side) into the window, then reports the changed marks.
    void TakeIntoWindow(const Form& from, const std::vector<std::string>& controls);
    // "Restore Backup...": loads a backup into the window like Load Settings does.
    void LoadBackup(const std::string& path);

    // The same steps on request (the command line runs them as stages of its own, with
    // both options off). BackUp reads and saves a backup into WriteSafety().backupFolder
    // and calls `done` with whether it was saved; false, `done` never called, when the
    // port is closed, a side read runs or an operation awaits its answer (said in the
    // error box). VerifyLastWrite reads back what the last completed write sent,
    // reports through the Ui and calls `done` with whether the read back completed;
    // false when nothing was written since the port opened or the tracker is busy.
    bool BackUp(std::function<void(bool saved)> done);
    bool VerifyLastWrite(std::function<void(bool read)> done);

    // The last verification's result (thisValue sent, otherValue read), if any.
    const std::optional<Comparison>& LastVerify() const;
    // The path of the last backup saved, if any.
    const std::optional<std::string>& LastBackupPath() const;

    // What changed since each group was last read or written.
    const Baseline& Changes() const;
    std::vector<std::string> ChangedControls() const;
    std::vector<std::string> ChangedTabs() const;

    // Replaces the system's port list (tests).
    void SetPortLister(std::function<std::vector<std::string>()> lister);

    // --- The line: traffic, a lost port, reconnecting, port identities ------------

    // Every frame sent and found on Comm1 and every stray run, while enabled (off at
    // first; the traffic panel or --trace turns it on).
    TrafficRecorder& Traffic();

    // Where port identities come from (the system's list by default; tests inject
    // one). Used when a port is opened (to remember what was opened) and while a
    // lost port is awaited.
    void SetPortSource(std::shared_ptr<PortSource> source);
    PortSource& PortSourceInUse();

    // Called when the port hangs up (the component's hang-up notification; the
    // window wires it itself). Closes the port as Close does, shows "Disconnect" and
    // "Port lost", drops whatever was awaited without its time-out report and shows
    // one box naming the port and what was in flight. Nothing when the port is closed.
    void PortLost();
    // True from a loss until the port is opened again or the window gives up.
    bool PortLostState() const;
    // The name of the port lost last ("" when none).
    const std::string& LostPortName() const;
    // What was in flight at the loss ("Read All", "connecting", "" when idle).
    const std::string& LostDuring() const;
    // True while the box about the loss is open.
    bool LossBoxOpen() const;
    // Told of each loss, before the box (the command line ends its command there).
    std::function<void(const std::string& port, const std::string& during)> OnPortLost;

    // "Reconnect Automatically": on at first. While a lost port is awaited and no box
    // about the loss is open, each Timer2 tick looks for a port with the lost port's
    // identity (see PortInfo::SameDevice); found, it is opened as Open would and the
    // connect poll starts, with "Reconnecting..." in panel 1. A port that cannot be
    // opened yet (busy while the system probes it) is tried again at the next tick.
    bool ReconnectAutomatically() const;
    void SetReconnectAutomatically(bool on);
    // True from a reconnect until the connect answer arrives; then panel 1 returns
    // from "Reconnecting..." to "Idle".
    bool Reconnecting() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quorvane
