// The command line's Ui: one stderr line per thing the window would show, and the
// answers a script needs (Yes to every question, the file named on the command line
// for every file dialog).
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "app/ui.h"
#include "trust/trust_ui.h"

namespace quorvane {

class ConsoleUi : public Ui, public WriteSafetyUi {
public:
    explicit ConsoleUi(std::ostream& err) : err_(err) {}

    void SetStatusText(int panel, std::string_view text) override;
    std::string StatusText(int panel) const override;
    void Notice(std::string_view text) override;
    bool Confirm(std::string_view question) override;
    void ShowError(std::string_view message) override;
    // The message's line, then "error: in CONTROL (TAB tab, LABEL)".
    void ShowControlError(std::string_view message, const ControlPlace& place) override;
    std::optional<std::string> ChooseOpenFile(std::string_view filter) override;
    std::optional<std::string> ChooseSaveFile(std::string_view presetPath, std::string_view filter) override;
    void SetWindowCaption(std::string_view) override {}
    void OpenUrl(std::string_view) override {}
    void CloseWindow() override {}
    void ScrollEventBox(int) override {}
    // "notice: Verify OK", or a "mismatch:" line per control and the error line.
    void ShowVerifyResult(const Comparison& result) override;
    // "backup: PATH", before the write starts.
    void BackupSaved(std::string_view path) override;

    // The path every following file dialog answers with; nullopt cancels.
    void SetDialogPath(std::optional<std::string> path) { dialogPath_ = std::move(path); }

    const std::vector<std::string>& Notices() const { return notices_; }
    const std::vector<std::string>& Errors() const { return errors_; }
    // Written by the engine into panel 0 when the tracker's first frame arrives.
    bool SawConnected() const { return sawConnected_; }
    // The text of the last notice or error, whichever came later.
    const std::string& LastMessage() const { return lastMessage_; }

private:
    std::ostream& err_;
    std::array<std::string, 3> panels_;
    std::vector<std::string> notices_;
    std::vector<std::string> errors_;
    std::optional<std::string> dialogPath_;
    bool sawConnected_ = false;
    std::string lastMessage_;
};

}  // namespace quorvane
