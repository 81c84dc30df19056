// Shared pieces of the window tests: the QApplication (created once for the whole
// test program, offscreen), the bare tab sheets, and the whole window with a fixed
// port list and an empty program directory.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QTabWidget>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/input_rule_filter.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/tab_builder.h"
#include "app/qt/widget_form.h"

namespace quorvane::qt_test {

// The tab sheets as the window builds them, without the window's logic.
struct BarePages {
    BarePages();
    QMainWindow window;
    QTabWidget* pages = nullptr;
    InputRuleFilter rules;
    BuiltPages built;
    std::unique_ptr<WidgetForm> form;
    std::unique_ptr<QtUi> ui;

    // Shows the window at its normal size and waits until it has the focus.
    void ShowActive();
};

// The whole window after FormCreate, with the given port list; its program
// directory is empty, so no start-up settings file is read.
struct Window {
    explicit Window(std::vector<std::string> ports = {"ttyQ0", "ttyQ1"});
    QTemporaryDir programDir;
    std::unique_ptr<TForm1Window> window;

    WidgetForm& Form() const { return window->Controls(); }
    void ShowActive();
};

std::string ProgramDirOf(const QTemporaryDir& dir);

// A message box's text, and its detail (informative text) on the next line.
std::string BoxMessage(const QMessageBox& box);

// Answers the next modal box that opens (a message box: its default button) and
// hands back its text; runs `action`, which opens it.
std::string AnswerNextBox(const std::function<void()>& action, bool yes = true);

// While it lives, answers every message box that opens (OK, or Yes) as soon as the
// event loop runs, and keeps the boxes' texts in order.
class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();
    const std::vector<std::string>& Texts() const { return texts_; }

private:
    std::vector<std::string> texts_;
    std::unique_ptr<QObject> timer_;
};

// A menu item's caption as the user reads it: without its access key's marker.
std::string Caption(const QAction& action);

// Widget of a control, of the type it must have.
template <class W>
W& As(const WidgetForm& form, const std::string& name) {
    return dynamic_cast<W&>(form.Widget(name));
}

}  // namespace quorvane::qt_test
