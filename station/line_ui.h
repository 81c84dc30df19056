// A port's window logic as lines of text, in the command line's words: one line per
// thing the window would show ("status: ", "notice: ", "error: ", "mismatch: ",
// "backup: "). The command line prints them; the station window keeps them as a
// port's log. The answers to questions and file dialogs come from the station's own
// Ui, which passes everything shown on to this one.
#pragma once

#include <array>
#include <ostream>
#include <string>

#include "seams/ui.h"
#include "trust/trust_ui.h"

namespace quorvane {

class LineUi : public Ui, public WriteSafetyUi {
public:
    explicit LineUi(std::ostream& err) : err_(err) {}

    void SetStatusText(int panel, std::string_view text) override;
    std::string StatusText(int panel) const override;
    void Notice(std::string_view text) override;
    // The question and "(answered Yes)".
    bool Confirm(std::string_view question) override;
    void ShowError(std::string_view message) override;
    // The message's line, then "error: in CONTROL (TAB tab, LABEL)".
    void ShowControlError(std::string_view message, const ControlPlace& place) override;
    std::optional<std::string> ChooseOpenFile(std::string_view) override { return std::nullopt; }
    std::optional<std::string> ChooseSaveFile(std::string_view, std::string_view) override { return std::nullopt; }
    void SetWindowCaption(std::string_view) override {}
    void OpenUrl(std::string_view) override {}
    void CloseWindow() override {}
    void ScrollEventBox(int) override {}
    // "notice: Verify OK", or a "mismatch:" line per control and the error line.
    void ShowVerifyResult(const Comparison& result) override;
    // "backup: PATH", before the write starts.
    void BackupSaved(std::string_view path) override;

private:
    std::ostream& err_;
    std::array<std::string, 3> panels_;
};

}  // namespace quorvane
