#include "station/line_ui.h"

#include "station/escape.h"

namespace quorvane {

void LineUi::SetStatusText(int panel, std::string_view text) {
    if (panel < 0 || panel >= static_cast<int>(panels_.size())) return;
    panels_[static_cast<std::size_t>(panel)] = std::string(text);
    if (panel == 1) err_ << "status: " << EscapeValue(text) << '\n' << std::flush;
}

std::string LineUi::StatusText(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(panels_.size())) return {};
    return panels_[static_cast<std::size_t>(panel)];
}

void LineUi::Notice(std::string_view text) {
    err_ << "notice: " << EscapeValue(text) << '\n' << std::flush;
}

bool LineUi::Confirm(std::string_view question) {
    err_ << "notice: " << EscapeValue(question) << " (answered Yes)\n" << std::flush;
    return true;
}

void LineUi::ShowError(std::string_view message) {
    err_ << "error: " << EscapeValue(message) << '\n' << std::flush;
}

void LineUi::ShowVerifyResult(const Comparison& result) {
    if (result.Same()) {
        Notice("Verify OK");
        return;
    }
    for (const ControlDifference& d : result.differences) {
        err_ << "mismatch: " << EscapeValue(d.control) << ": ";
        if (d.sentValue) err_ << "window '" << EscapeValue(d.thisValue) << "', sent '" << EscapeValue(*d.sentValue) << "'";
        else err_ << "sent '" << EscapeValue(d.thisValue) << "'";
        err_ << ", read '" << EscapeValue(d.otherValue) << "'\n";
    }
    ShowError(VerifyFailedText(result.differences.size()));
}

void LineUi::BackupSaved(std::string_view path) { err_ << "backup: " << EscapeValue(path) << '\n' << std::flush; }

void LineUi::ShowControlError(std::string_view message, const ControlPlace& place) {
    ShowError(message);
    err_ << "error: in " << place.control << " (" << EscapeValue(place.tab) << " tab, " << EscapeValue(place.label)
         << ")\n"
         << std::flush;
}

}  // namespace quorvane
