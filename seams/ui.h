// Everything the user is told or asked. The window shows real dialogs; headless
// front ends print and answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// A control named in an error: its name, its tab's caption, the label the user reads
// beside it, and whether it is shown (a hidden box cannot take the focus).
struct ControlPlace {
    std::string control;  // "StopInterval"
    std::string tab;      // "GPRS"
    std::string label;    // "Stop Interval"
    bool visible = true;
};

class Ui {
public:
    virtual ~Ui() = default;

    // Status bar: panel 0 the connection, panel 1 the operation, panel 2 unused.
    virtual void SetStatusText(int panel, std::string_view text) = 0;
    virtual std::string StatusText(int panel) const = 0;

    // Modal box titled "Notice" with an OK button. The window keeps handling timer
    // ticks and received data while it is open.
    virtual void Notice(std::string_view text) = 0;
    // Modal box titled "Notice" with Yes and No buttons; true for Yes.
    virtual bool Confirm(std::string_view question) = 0;
    // The application's error box (port errors, conversion errors, file errors).
    virtual void ShowError(std::string_view message) = 0;
    // The error box for a text that did not convert: `message` as ShowError shows it,
    // first, and beside it where the box is; the window also puts the focus on a
    // shown box. Front ends that cannot point at a box show the message alone.
    virtual void ShowControlError(std::string_view message, const ControlPlace& place) {
        (void)place;
        ShowError(message);
    }

    // File dialogs; nullopt when the user cancels. `filter` is "*.ini|*.ini" style.
    virtual std::optional<std::string> ChooseOpenFile(std::string_view filter) = 0;
    virtual std::optional<std::string> ChooseSaveFile(std::string_view presetPath,
                                                      std::string_view filter) = 0;

    virtual void SetWindowCaption(std::string_view caption) = 0;
    virtual void OpenUrl(std::string_view url) = 0;
    virtual void CloseWindow() = 0;
    // Scrolls the Event tab's row box by `lines` lines (positive: downwards).
    virtual void ScrollEventBox(int lines) = 0;
};

}  // namespace quorvane
