#include "tools/tours/afternoon_tour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <functional>

#include "app/form1.h"
#include "app/qt/compare_dialog.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/trust_tools.h"
#include "app/qt/widget_form.h"
#include "sim/pty_tracker.h"
#include "tools/tours/tour_support.h"

namespace quorvane {

namespace {

constexpr int kWaitMs = 20000;

bool WaitUntil(const std::function<bool()>& done, const char* what) { return WaitFor(done, kWaitMs, what); }

bool SavePixmap(const QPixmap& picture, const QString& dir, const QString& name) {
    return SavePicture(picture, QDir(dir).filePath(name));
}

// The window with `over` drawn where it stands on the screen.
QPixmap WindowWith(QWidget& window, QWidget* over) {
    QCoreApplication::processEvents();
    QPixmap canvas = window.grab();
    if (over != nullptr) {
        QPainter painter(&canvas);
        painter.drawPixmap(over->mapToGlobal(QPoint(0, 0)) - window.mapToGlobal(QPoint(0, 0)), over->grab());
    }
    return canvas;
}

bool Shoot(const QString& dir, const std::string& programDir) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    TForm1Window window(programDir);
    window.Create();
    WidgetForm& form = window.Controls();
    form.SetText("ComboBox1", tracker.SlavePath());
    window.show();
    QTabWidget& pages = window.PageControl();

    // The Event tab at the smallest width the window takes, its rows scrolled right.
    pages.setCurrentWidget(&form.Widget("TabSheet6"));
    window.resize(window.minimumSizeHint().width(), window.height());
    QCoreApplication::processEvents();
    QScrollBar* sideways = window.ScrollBox1().horizontalScrollBar();
    sideways->setValue(sideways->maximum());
    if (!SavePixmap(WindowWith(window, nullptr), dir, QStringLiteral("event-tab-minimum-width.png"))) return false;
    window.resize(TForm1Window::kClientWidth, window.height());

    // Boxes are answered as they open; a warning is pictured first.
    bool warned = false;
    bool saved = true;
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        if (box->icon() == QMessageBox::Warning && !warned) {
            warned = true;
            saved = SavePixmap(WindowWith(window, box), dir, QStringLiteral("verify-failed-warning.png"));
        }
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    });
    answer.start();

    dynamic_cast<QPushButton&>(form.Widget("OpenPort")).click();
    if (!window.Logic().PortOpen()) return false;
    if (!WaitUntil([&] { return window.Dialogs().StatusText(0) == "Connected" && !window.Logic().Busy(); },
                   "connection"))
        return false;
    pages.setCurrentWidget(&form.Widget("TabSheet2"));
    dynamic_cast<QPushButton&>(form.Widget("GPRSRead")).click();
    if (!WaitUntil([&] { return window.Dialogs().StatusText(1) == "Read GPRS OK" && !window.Logic().Busy(); },
                   "read"))
        return false;

    // A tracker that stores one field wrong, and the check after the write on.
    QAction* verify = window.MenuItem(QStringLiteral("VerifyAfterWrite1"));
    const bool verifyWasOn = verify->isChecked();
    if (!verifyWasOn) verify->trigger();
    tracker.InjectFault(sim::Fault::StoreWrong);
    dynamic_cast<QPushButton&>(form.Widget("GPRSWrite")).click();
    const bool shown = WaitUntil([&] { return window.Trust().OpenDialog() != nullptr; }, "verify list");
    if (shown) {
        QCoreApplication::processEvents();
        saved = SavePixmap(WindowWith(window, window.Trust().OpenDialog()), dir, QStringLiteral("verify-failed.png")) &&
                saved;
        window.Trust().OpenDialog()->reject();
    }
    if (!verifyWasOn) verify->trigger();
    answer.stop();
    dynamic_cast<QPushButton&>(form.Widget("OpenPort")).click();
    return shown && saved;
}

}  // namespace

bool SaveAfternoonTour(const QString& dir, const std::string& programDir) {
    try {
        return Shoot(dir, programDir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvane-tours: afternoon pictures: %s\n", e.what());
        return false;
    }
}

}  // namespace quorvane
