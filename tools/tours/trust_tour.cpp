#include "tools/tours/trust_tour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidgetItem>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>

#include "app/form1.h"
#include "app/qt/compare_dialog.h"
#include "app/qt/find_dialog.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/trust_tools.h"
#include "app/qt/widget_form.h"
#include "model/window_model.h"
#include "sim/pty_tracker.h"
#include "tools/tours/tour_support.h"

namespace quorvane {

namespace {

constexpr int kWaitMs = 20000;

bool WaitUntil(const std::function<bool()>& done, const char* what) { return WaitFor(done, kWaitMs, what); }

bool Save(QWidget& widget, const QString& dir, const QString& name) {
    return SaveWidget(widget, QDir(dir).filePath(name));
}

bool Shoot(const QString& dir, const std::string& programDir) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    TForm1Window window(programDir);
    window.Create();
    WidgetForm& form = window.Controls();
    form.SetText("ComboBox1", tracker.SlavePath());
    window.show();

    // The completion boxes are answered as they open.
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    });
    answer.start();

    dynamic_cast<QPushButton&>(form.Widget("OpenPort")).click();
    if (!window.Logic().PortOpen()) return false;
    if (!WaitUntil([&] { return window.Dialogs().StatusText(0) == "Connected" && !window.Logic().Busy(); },
                   "connection"))
        return false;
    dynamic_cast<QPushButton&>(form.Widget("ReadAll")).click();
    if (!WaitUntil([&] { return window.Dialogs().StatusText(1) == "Read All OK" && !window.Logic().Busy(); },
                   "read"))
        return false;

    // A technician's edits since the read.
    QTabWidget& pages = window.PageControl();
    auto type = [&](const char* control, const QString& text) {
        auto& edit = dynamic_cast<QLineEdit&>(form.Widget(control));
        edit.setText(text);
    };
    type("TimeInterval", QStringLiteral("45"));
    type("Port", QStringLiteral("6100"));
    type("APN", QStringLiteral("fleet.example"));
    int flipped = 0;
    for (const ControlDef& c : Controls()) {
        if (c.tab != "TabSheet6" || c.kind != ControlKind::CheckBox || !form.Enabled(c.name) || c.row % 3 != 1) continue;
        if (c.column != 0 && c.column != 4) continue;
        dynamic_cast<QCheckBox&>(form.Widget(c.name)).click();
        if (++flipped == 6) break;
    }

    pages.setCurrentWidget(&form.Widget("TabSheet2"));
    if (!Save(window, dir, QStringLiteral("changes-GPRS.png"))) return false;
    pages.setCurrentWidget(&form.Widget("TabSheet6"));
    if (!Save(window, dir, QStringLiteral("changes-Event.png"))) return false;

    TrustTools& tools = window.Trust();
    tools.CompareWithTracker();
    if (!WaitUntil([&] { return tools.OpenDialog() != nullptr; }, "compare dialog")) return false;
    CompareDialog* dialog = tools.OpenDialog();
    if (QTreeWidgetItem* row = dialog->RowOf("Port")) row->setCheckState(CompareDialog::kTabColumn, Qt::Checked);
    if (!Save(*dialog, dir, QStringLiteral("compare-dialog.png"))) return false;
    dialog->reject();

    FindDialog& find = tools.ShowFind();
    find.ChangedOnly().setChecked(true);
    if (!Save(find, dir, QStringLiteral("find.png"))) return false;
    find.close();

    answer.stop();
    dynamic_cast<QPushButton&>(form.Widget("OpenPort")).click();
    return true;
}

}  // namespace

bool SaveTrustTour(const QString& dir, const std::string& programDir) {
    try {
        return Shoot(dir, programDir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvane-tours: pictures: %s\n", e.what());
        return false;
    }
}

}  // namespace quorvane
