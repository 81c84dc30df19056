#include "station/session_ui.h"

namespace quorvane {

void SessionUi::SetStatusText(int panel, std::string_view text) {
    if (panel < 0 || panel >= static_cast<int>(panels_.size())) return;
    panels_[static_cast<std::size_t>(panel)] = std::string(text);
    shown_.SetStatusText(panel, text);
}

std::string SessionUi::StatusText(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(panels_.size())) return {};
    return panels_[static_cast<std::size_t>(panel)];
}

void SessionUi::NoteNotice(std::string_view text) {
    notices_.emplace_back(text);
    lastMessage_ = text;
}

void SessionUi::NoteError(std::string_view text) {
    errors_.emplace_back(text);
    lastMessage_ = text;
}

void SessionUi::Notice(std::string_view text) {
    NoteNotice(text);
    if (!quiet_) shown_.Notice(text);
}

bool SessionUi::Confirm(std::string_view question) {
    shown_.Confirm(question);
    return true;
}

void SessionUi::ShowError(std::string_view message) {
    NoteError(message);
    if (!quiet_) shown_.ShowError(message);
}

void SessionUi::ShowControlError(std::string_view message, const ControlPlace& place) {
    NoteError(message);
    if (!quiet_) shown_.ShowControlError(message, place);
}

void SessionUi::ShowVerifyResult(const Comparison& result) {
    if (result.Same()) {
        NoteNotice("Verify OK");
    } else {
        NoteError(VerifyFailedText(result.differences.size()));
    }
    if (auto* safety = dynamic_cast<WriteSafetyUi*>(&shown_)) {
        safety->ShowVerifyResult(result);
    } else if (result.Same()) {
        shown_.Notice("Verify OK");
    } else {
        shown_.ShowError(VerifyFailedReport(result));
    }
}

void SessionUi::BackupSaved(std::string_view path) {
    if (auto* safety = dynamic_cast<WriteSafetyUi*>(&shown_)) safety->BackupSaved(path);
}

}  // namespace quorvane
