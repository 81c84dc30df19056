// A Ui for tests: records everything the user is told or asked, in order, and
// answers questions and file dialogs from scripts. An optional hook runs inside
// Notice, where the window's nested event loop would run, so a test can deliver a
// block or tick a timer while a box is "open".
#pragma once

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "seams/ui.h"

namespace quorvane::test_support {

class RecordingUi : public Ui {
public:
    enum class Kind { Status, Notice, Confirm, Error, OpenDialog, SaveDialog, Caption, Url, Close, Scroll };

    struct Entry {
        Kind kind;
        int panel = -1;      // Status: the panel
        std::string text;    // status text, box text, question, filter, caption, url
        std::string preset;  // SaveDialog: the preset path
        int lines = 0;       // Scroll

        explicit Entry(Kind k, std::string t = {}, int p = -1) : kind(k), panel(p), text(std::move(t)) {}
    };

    // --- Ui ---
    void SetStatusText(int panel, std::string_view text) override {
        if (panel >= 0 && panel < static_cast<int>(panels_.size())) panels_[panel] = std::string(text);
        Record(Entry(Kind::Status, std::string(text), panel));
    }
    std::string StatusText(int panel) const override {
        if (panel < 0 || panel >= static_cast<int>(panels_.size())) return {};
        return panels_[panel];
    }
    void Notice(std::string_view text) override {
        Record(Entry(Kind::Notice, std::string(text)));
        ++openNotices_;
        if (onNotice) onNotice(std::string(text));
        --openNotices_;
    }
    bool Confirm(std::string_view question) override {
        Record(Entry(Kind::Confirm, std::string(question)));
        if (onConfirm) onConfirm(std::string(question));
        if (confirmAnswers.empty()) return defaultConfirm;
        const bool answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }
    void ShowError(std::string_view message) override { Record(Entry(Kind::Error, std::string(message))); }
    // Logged as an error with its message; the place is kept beside it.
    void ShowControlError(std::string_view message, const ControlPlace& place) override {
        ShowError(message);
        errorPlaces.push_back(place);
    }
    std::optional<std::string> ChooseOpenFile(std::string_view filter) override {
        Record(Entry(Kind::OpenDialog, std::string(filter)));
        return NextFile();
    }
    std::optional<std::string> ChooseSaveFile(std::string_view presetPath, std::string_view filter) override {
        Entry e(Kind::SaveDialog, std::string(filter));
        e.preset = std::string(presetPath);
        Record(e);
        return NextFile();
    }
    void SetWindowCaption(std::string_view caption) override {
        windowCaption = std::string(caption);
        Record(Entry(Kind::Caption, std::string(caption)));
    }
    void OpenUrl(std::string_view url) override { Record(Entry(Kind::Url, std::string(url))); }
    void CloseWindow() override {
        closed = true;
        Record(Entry(Kind::Close));
    }
    void ScrollEventBox(int lines) override {
        Entry e(Kind::Scroll);
        e.lines = lines;
        Record(e);
    }

    // --- scripts ---
    // Answers to Confirm, in order; defaultConfirm once they run out.
    std::deque<bool> confirmAnswers;
    bool defaultConfirm = true;
    // Answers to the file dialogs, in order; nullopt is Cancel, as is running out.
    std::deque<std::optional<std::string>> fileAnswers;
    // Run inside Notice and Confirm, with the box's text, while the box is open:
    // where the window's nested event loop would tick timers and deliver blocks.
    std::function<void(const std::string&)> onNotice;
    std::function<void(const std::string&)> onConfirm;

    // --- what was recorded ---
    const std::vector<Entry>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }

    std::vector<std::string> Texts(Kind kind) const {
        std::vector<std::string> out;
        for (const Entry& e : log_)
            if (e.kind == kind) out.push_back(e.text);
        return out;
    }
    std::vector<std::string> Notices() const { return Texts(Kind::Notice); }
    std::vector<std::string> Errors() const { return Texts(Kind::Error); }
    std::vector<ControlPlace> errorPlaces;
    std::vector<std::string> Questions() const { return Texts(Kind::Confirm); }
    // Every text written into one status panel, in order.
    std::vector<std::string> StatusTexts(int panel) const {
        std::vector<std::string> out;
        for (const Entry& e : log_)
            if (e.kind == Kind::Status && e.panel == panel) out.push_back(e.text);
        return out;
    }
    std::size_t Count(Kind kind) const {
        return static_cast<std::size_t>(
            std::count_if(log_.begin(), log_.end(), [kind](const Entry& e) { return e.kind == kind; }));
    }
    // Boxes currently open (nested Notice calls).
    int OpenNotices() const { return openNotices_; }

    std::string windowCaption;
    bool closed = false;

private:
    void Record(Entry e) { log_.push_back(std::move(e)); }
    std::optional<std::string> NextFile() {
        if (fileAnswers.empty()) return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    std::array<std::string, 3> panels_{};
    std::vector<Entry> log_;
    int openNotices_ = 0;
};

}  // namespace quorvane::test_support
