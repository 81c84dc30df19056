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

#include "seams/form.h"
#include "app/port_loss.h"
#include "app/questions.h"
#include "seams/ui.h"
#include "app/window_safety.h"
#include "serial/mailbox.h"

namespace quorvane {

class TComm;
class TransactionEngine;
class TrafficRecorder;

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
    void Exit1Click();  // asks MayQuit first; No leaves everything as it was
    void VisitWebsite1Click();
    void FormMouseWheel(int wheelDelta, bool& handled);
    void SavetSettings1Click();
    void LoadSettings1Click();

    // Runs a button's click handler by its name in the window model ("ReadAllClick",
    // "MainSetWriteClick", ...). False when no button has that handler. With the
    // question before maintenance on and the port open, "Default" and the buffer
    // "Clear" buttons first ask (Ui::Confirm); No sends nothing.
    bool Click(std::string_view handler);

    // Off at first; the window turns them on from the user's options.
    void SetQuestions(Questions questions);
    const Questions& AskedQuestions() const;
    // Whether the window may close now: true when the question is off, nothing was
    // changed since the tracker was last read or written, or the user answers Yes.
    // Once true it stays true, so the close that follows does not ask again.
    bool MayQuit();

    // Runs `handler`; an error it raises is shown in the application's error box.
    // Every call from an event loop goes through here, so no exception escapes.
    void Guard(const std::function<void()>& handler);

    bool PortOpen() const;
    std::uint8_t ConnectPollCount() const;
    bool SettingsLoaded() const;
    // The tracker has answered since the port was opened (panel 0 says "Connected").
    bool Connected() const;
    // A backup, verification or compare read, or an engine operation, is awaiting the
    // tracker: the one meaning of busy. No side read starts then, and the command
    // line's stages wait for it to clear.
    bool Busy() const;

    TComm& Comm1();
    TransactionEngine& Engine();
    const TransactionEngine& Engine() const;
    // Every frame sent and found on Comm1 and every stray run, while enabled (off at
    // first; the traffic panel or --trace turns it on).
    TrafficRecorder& Traffic();

    // The user's own configuration folder with its trailing separator (the shell
    // knows where it is); empty for none. The start-up settings file is looked for
    // there after the program's folder, and Save Settings proposes it when the
    // program's folder is not writable (a system-wide install). Set before FormCreate.
    void SetUserConfigDir(std::string dir);

    // Compare, verify, back up and the changed marks.
    WriteSafety& Safety();
    const WriteSafety& Safety() const;
    // The lost port and reconnecting; the port list.
    PortWatch& Watch();
    const PortWatch& Watch() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quorvane
