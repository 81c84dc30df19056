// The Ui a port's session gives its window logic: it keeps what the stages need to
// know (the notices and errors so far, the last message) and answers as a script
// would (Yes to every question, the job's file for every file dialog), and passes
// everything the user should see on to the front end's own Ui (and to its
// WriteSafetyUi where it has one; the plain boxes otherwise).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "seams/ui.h"
#include "trust/trust_ui.h"

namespace quorvane {

class SessionUi : public Ui, public WriteSafetyUi {
public:
    explicit SessionUi(Ui& shown) : shown_(shown) {}

    void SetStatusText(int panel, std::string_view text) override;
    std::string StatusText(int panel) const override;
    void Notice(std::string_view text) override;
    bool Confirm(std::string_view question) override;
    void ShowError(std::string_view message) override;
    void ShowControlError(std::string_view message, const ControlPlace& place) override;
    std::optional<std::string> ChooseOpenFile(std::string_view) override { return dialogPath_; }
    std::optional<std::string> ChooseSaveFile(std::string_view, std::string_view) override { return dialogPath_; }
    void SetWindowCaption(std::string_view) override {}
    void OpenUrl(std::string_view) override {}
    void CloseWindow() override {}
    void ScrollEventBox(int) override {}
    void ShowVerifyResult(const Comparison& result) override;
    void BackupSaved(std::string_view path) override;

    // Quiet: notices and errors are noted but not shown (a look for a tracker, whose
    // lost port or refusal concerns nobody).
    void SetQuiet(bool quiet) { quiet_ = quiet; }

    // The path every following file dialog answers with; nullopt cancels.
    void SetDialogPath(std::optional<std::string> path) { dialogPath_ = std::move(path); }

    const std::vector<std::string>& Notices() const { return notices_; }
    const std::vector<std::string>& Errors() const { return errors_; }
    // The text of the last notice or error, whichever came later.
    const std::string& LastMessage() const { return lastMessage_; }

private:
    void NoteNotice(std::string_view text);
    void NoteError(std::string_view text);

    Ui& shown_;
    std::array<std::string, 3> panels_;
    std::vector<std::string> notices_;
    std::vector<std::string> errors_;
    std::optional<std::string> dialogPath_;
    std::string lastMessage_;
    bool quiet_ = false;
};

}  // namespace quorvane
