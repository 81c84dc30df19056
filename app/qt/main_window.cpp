#include "app/qt/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTabWidget>
#include <QWheelEvent>
#include <QWindow>
#include <QtDebug>

#include <utility>

#include "app/form1.h"
#include "app/qt/latin1.h"
#include "app/qt/line_tools.h"
#include "app/qt/port_combo_box.h"
#include "app/qt/qt_ui.h"
#include "app/qt/station/station_window.h"
#include "app/qt/trust_tools.h"
#include "app/qt/widget_form.h"
#include "model/window_model.h"

namespace quorvane {

namespace {

// One notch of an ordinary mouse wheel.
constexpr int kWheelNotch = 120;

}  // namespace

TForm1Window::TForm1Window(std::string programDir, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Parameter Editor"));

    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("PageControl"));
    pages_->setDocumentMode(false);
    setCentralWidget(pages_);
    built_ = BuildPages(*pages_, rules_);

    form_ = std::make_unique<WidgetForm>(*this, *pages_);
    ui_ = std::make_unique<QtUi>(*this, *built_.eventBox);
    logic_ = std::make_unique<TForm1>(*form_, *ui_, mailbox_, std::move(programDir));
    logic_->Safety().SetUi(ui_.get());
    // The user's configuration folder: a second place for the start-up settings file.
    const QString configDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (!configDir.isEmpty()) {
        const QByteArray userDir = QFile::encodeName(configDir + QLatin1Char('/'));
        logic_->SetUserConfigDir(std::string(userDir.constData(), static_cast<std::size_t>(userDir.size())));
    }
    mailbox_.SetRunner([this](const std::function<void()>& work) { Guard(work); });

    BuildMenu();
    trust_ = std::make_unique<TrustTools>(*this);
    ConnectButtons();
    new LineTools(*this);  // the Tools menu's line items, owned by the window
    new StationTools(*this);  // Tools > Station..., owned by the window
    BuildQuestionItems();

    timer1_.setInterval(10);
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, [this] { Guard([this] { logic_->Timer1Timer(); }); });
    timer2_.setInterval(1000);
    connect(&timer2_, &QTimer::timeout, this, [this] { Guard([this] { logic_->Timer2Timer(); }); });

    // The docks' places and sizes as the user left them; a panel opens when asked.
    const QByteArray docks = QByteArray::fromBase64(options_.Text(QString::fromLatin1(kDockStateKey)).toLatin1());
    if (!docks.isEmpty()) {
        const QList<QDockWidget*> panels = findChildren<QDockWidget*>();
        restoreState(docks);
        for (QDockWidget* panel : panels) panel->hide();
    }

    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

TForm1Window::~TForm1Window() {
    timer1_.stop();
    timer2_.stop();
    trust_.reset();
    // The logic closes the port while the widgets it reports to still exist.
    logic_.reset();
}

void TForm1Window::Create() {
    Guard([this] { logic_->FormCreate(); });
    timer1_.start();
    timer2_.start();
}

void TForm1Window::Guard(const std::function<void()>& handler) {
    // TForm1::Guard shows what the handler raises; nothing may unwind into Qt.
    try {
        logic_->Guard(handler);
    } catch (const std::exception& e) {
        qWarning("unhandled error: %s", e.what());
    } catch (...) {
        qWarning("unhandled error");
    }
}

void TForm1Window::BuildMenu() {
    auto item = [this](QMenu* menu, const char* name, const QString& caption, std::function<void()> handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        if (!handler) return;
        connect(action, &QAction::triggered, this, [this, handler = std::move(handler)] { Guard(handler); });
    };

    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    item(file, "SavetSettings1", QStringLiteral("&Save Settings"), [this] {
        logic_->SavetSettings1Click();  // a file that cannot be written throws past the note below
        if (!ui_->LastSaveChoice().isEmpty())
            ui_->SetStatusText(1, FromQt(QStringLiteral("Settings saved: %1").arg(QFileInfo(ui_->LastSaveChoice()).fileName())));
    });
    item(file, "LoadSettings1", QStringLiteral("&Load Settings"), [this] { logic_->LoadSettings1Click(); });
    item(file, "Exit1", QStringLiteral("E&xit"), [this] { logic_->Exit1Click(); });

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));

    tools_ = bar->addMenu(QStringLiteral("&Tools"));
    tools_->setObjectName(QStringLiteral("Tools1"));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    item(help, "VisitWebsite1", QLatin1Char('&') + QString::fromLatin1(TForm1::kWebsite), [this] { logic_->VisitWebsite1Click(); });
    item(help, "ContactEmail1", QLatin1Char('&') + QString::fromLatin1(kContactEmail), nullptr);
}

void TForm1Window::BuildQuestionItems() {
    tools_->addSeparator();
    QAction* quit = tools_->addAction(QStringLiteral("&Ask Before Quitting Without Writing"));
    quit->setObjectName(QStringLiteral("AskBeforeQuitting1"));
    QAction* confirm = tools_->addAction(QStringLiteral("Confirm &Default and Clear"));
    confirm->setObjectName(QStringLiteral("ConfirmDefaultAndClear1"));
    for (const auto& item : {std::pair{quit, kAskBeforeQuitKey}, std::pair{confirm, kConfirmMaintenanceKey}}) {
        QAction* action = item.first;
        const char* key = item.second;
        action->setCheckable(true);
        action->setChecked(options_.Flag(QString::fromLatin1(key), true));
        connect(action, &QAction::toggled, this, [this, key](bool on) {
            options_.SetFlag(QString::fromLatin1(key), on);
            ApplyQuestions();
        });
    }
    ApplyQuestions();
}

void TForm1Window::ApplyQuestions() {
    Questions questions;
    questions.beforeQuit = MenuItem(QStringLiteral("AskBeforeQuitting1"))->isChecked();
    questions.beforeMaintenance = MenuItem(QStringLiteral("ConfirmDefaultAndClear1"))->isChecked();
    logic_->SetQuestions(questions);
}

QAction* TForm1Window::MenuItem(const QString& name) const { return findChild<QAction*>(name); }

void TForm1Window::ConnectButtons() {
    for (const ControlDef& c : quorvane::Controls()) {
        if (c.kind != ControlKind::Button || c.handler.empty()) continue;
        auto* button = qobject_cast<QPushButton*>(&form_->Widget(c.name));
        if (button == nullptr) continue;
        const std::string handler = c.handler;
        connect(button, &QPushButton::clicked, this, [this, handler] {
            // A tool's note in panel 2 ("Backed up") is about the command before.
            ui_->Panel(2).clear();
            ui_->Panel(2).setToolTip(QString());
            Guard([this, handler] {
                if (!logic_->Click(handler)) qWarning("no handler %s", handler.c_str());
            });
        });
    }
    if (built_.portBox != nullptr) built_.portBox->SetDropDownHandler([this] { DropDownPorts(); });
}

void TForm1Window::DropDownPorts() { Guard([this] { logic_->ComboBox1DropDown(); }); }

void TForm1Window::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The wheel is taken where it enters the window, whatever widget is under the pointer.
    if (!wheelWatched_ && windowHandle() != nullptr) {
        windowHandle()->installEventFilter(this);
        wheelWatched_ = true;
    }
}

bool TForm1Window::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && watched == windowHandle()) {
        // A modal box open over the window keeps the wheel away from it.
        const QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != this) return false;
        const auto* wheel = static_cast<QWheelEvent*>(event);
        return HandleWheel(wheel->angleDelta().y());
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1Window::HandleWheel(int angleDelta) {
    if (angleDelta == 0) return false;  // a sideways wheel
    // Fine-grained wheels and touch pads report parts of a notch: one line per notch.
    if ((angleDelta > 0) != (wheelRemainder_ > 0)) wheelRemainder_ = 0;
    wheelRemainder_ += angleDelta;
    bool handled = false;
    while (wheelRemainder_ >= kWheelNotch || wheelRemainder_ <= -kWheelNotch) {
        const int notch = wheelRemainder_ > 0 ? kWheelNotch : -kWheelNotch;
        wheelRemainder_ -= notch;
        bool notchHandled = false;
        Guard([this, notch, &notchHandled] { logic_->FormMouseWheel(notch, notchHandled); });
        handled = handled || notchHandled;
    }
    return handled;
}

void TForm1Window::closeEvent(QCloseEvent* event) {
    // Values changed since the last read or write are not lost without a question.
    bool mayQuit = true;
    Guard([&] { mayQuit = logic_->MayQuit(); });
    if (!mayQuit) {
        event->ignore();
        return;
    }
    for (const auto& check : closeChecks_) {
        if (!check()) {
            event->ignore();
            return;
        }
    }
    options_.SetText(QString::fromLatin1(kDockStateKey), QString::fromLatin1(saveState().toBase64()));
    // Closing by the close box closes the port too.
    if (logic_->PortOpen()) Guard([this] { logic_->OpenPortClick(); });
    event->accept();
}

}  // namespace quorvane
