// The main window: a thin shell around TForm1. It builds the widgets from the window
// model, hands them to the logic through WidgetForm and QtUi, and turns menu items,
// buttons, timers, the port list and the mouse wheel into TForm1's handlers.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/input_rule_filter.h"
#include "app/qt/qt_mailbox.h"
#include "app/qt/tab_builder.h"
#include "app/qt/user_options.h"

class QAction;
class QMenu;
class QScrollArea;
class QTabWidget;

namespace quorvane {

class QtUi;
class TForm1;
class TrustTools;
class WidgetForm;

class TForm1Window : public QMainWindow {
    Q_OBJECT
public:
    // The client area below the menu bar (pages and status bar); with the window
    // system's frame, title and menu bar the window is about 792 x 666.
    static constexpr int kClientWidth = 776;
    static constexpr int kClientHeight = 607;
    static constexpr const char* kContactEmail = "support@quorvane.example.org";

    // `programDir` ends with a separator; the start-up settings file is read there.
    explicit TForm1Window(std::string programDir, QWidget* parent = nullptr);
    ~TForm1Window() override;

    // Runs FormCreate and starts both timers. Separate from the constructor so that a
    // caller can set the port lister first.
    void Create();

    TForm1& Logic() const { return *logic_; }
    WidgetForm& Controls() const { return *form_; }
    QtUi& Dialogs() const { return *ui_; }
    QTabWidget& PageControl() const { return *pages_; }
    QScrollArea& ScrollBox1() const { return *built_.eventBox; }
    QTimer& Timer1() { return timer1_; }
    QTimer& Timer2() { return timer2_; }
    QAction* MenuItem(const QString& name) const;
    // The "Tools" menu, between "Edit" and "Help": the commands the window adds beside
    // the described ones. Each feature adds its own items here.
    QMenu* ToolsMenu() const { return tools_; }
    // The user options of the questions before quitting with changes and before
    // "Default" and "Clear" (Tools menu; on at first).
    static constexpr const char* kAskBeforeQuitKey = "Tools/AskBeforeQuitting";
    static constexpr const char* kConfirmMaintenanceKey = "Tools/ConfirmDefaultAndClear";
    // Where the docked panels (Traffic) stand and how large they are, from the last close.
    static constexpr const char* kDockStateKey = "Window/Docks";
    // The user's own options (the switches of the Tools menu), kept between runs.
    UserOptions& Options() { return options_; }
    // Compare, verify, back up, changed marks and Find (Tools menu).
    TrustTools& Trust() const { return *trust_; }

    // Runs one of the logic's handlers; an error it raises goes to the error box.
    void Guard(const std::function<void()>& handler);

    // Asked before the window closes; a check that returns false keeps it open.
    void AddCloseCheck(std::function<bool()> check) { closeChecks_.push_back(std::move(check)); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu();
    void BuildQuestionItems();
    void ApplyQuestions();
    void ConnectButtons();
    void DropDownPorts();
    bool HandleWheel(int angleDelta);

    QtMailbox mailbox_;
    InputRuleFilter rules_;
    UserOptions options_;
    QTabWidget* pages_ = nullptr;
    QMenu* tools_ = nullptr;
    BuiltPages built_;
    std::unique_ptr<WidgetForm> form_;
    std::unique_ptr<QtUi> ui_;
    std::unique_ptr<TForm1> logic_;
    std::unique_ptr<TrustTools> trust_;
    QTimer timer1_;
    QTimer timer2_;
    std::vector<std::function<bool()>> closeChecks_;
    int wheelRemainder_ = 0;
    bool wheelWatched_ = false;
};

}  // namespace quorvane
