// What the window tells and asks the user: status bar panels, message boxes, file
// dialogs, the caption, the web page, and the Event tab's scroll box.
#pragma once

#include <QString>

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "seams/ui.h"
#include "trust/trust_ui.h"

class QLabel;
class QMainWindow;
class QScrollArea;

namespace quorvane {

class QtUi : public Ui, public WriteSafetyUi {
public:
    static constexpr std::array<int, 3> kPanelWidths = {250, 250, 50};

    // Adds the three panels to the window's status bar. `eventBox` is ScrollBox1.
    QtUi(QMainWindow& window, QScrollArea& eventBox);

    void SetStatusText(int panel, std::string_view text) override;
    std::string StatusText(int panel) const override;
    void Notice(std::string_view text) override;
    bool Confirm(std::string_view question) override;
    void ShowError(std::string_view message) override;
    // The message as ShowError shows it, "TAB tab, LABEL" beside it; then the box's
    // tab is brought forward and the box takes the focus when it is shown.
    void ShowControlError(std::string_view message, const ControlPlace& place) override;
    std::optional<std::string> ChooseOpenFile(std::string_view filter) override;
    std::optional<std::string> ChooseSaveFile(std::string_view presetPath, std::string_view filter) override;
    void SetWindowCaption(std::string_view caption) override;
    void OpenUrl(std::string_view url) override;
    void CloseWindow() override;
    void ScrollEventBox(int lines) override;

    QLabel& Panel(int panel) const;
    // The path chosen in the last save dialog; empty when it was cancelled.
    const QString& LastSaveChoice() const { return lastSaveChoice_; }

    // The Tools menu's part: what a verification found, the backup saved before a
    // write, the changed marks to refresh. Unset hooks leave the plain boxes.
    struct WriteSafetyHooks {
        std::function<void(const Comparison&)> verifyFailed;
        std::function<void(std::string_view path)> backupSaved;
        std::function<void()> changesUpdated;
    };
    void SetWriteSafetyHooks(WriteSafetyHooks hooks) { hooks_ = std::move(hooks); }
    void ShowVerifyResult(const Comparison& result) override;
    void BackupSaved(std::string_view path) override;
    void ChangesUpdated() override;

private:
    WriteSafetyHooks hooks_;
    QMainWindow& window_;
    QScrollArea& eventBox_;
    std::array<QLabel*, 3> panels_{};
    QString lastSaveChoice_;
    QString settingsFolder_;  // where the last settings file was opened or saved
};

// "Text files|*.txt;*.log|All|*.*" -> "Text files (*.txt *.log);;All (*.*)".
QString ToQtFileFilter(std::string_view filter);

}  // namespace quorvane
