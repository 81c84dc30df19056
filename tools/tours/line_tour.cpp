#include "tools/tours/line_tour.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "app/form1.h"
#include "app/qt/find_tracker_dialog.h"
#include "app/qt/line_tools.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/traffic_panel.h"
#include "app/qt/widget_form.h"
#include "link/engine.h"
#include "serial/port_list.h"
#include "sim/pty_tracker.h"
#include "tools/tours/tour_support.h"

namespace quorvane {

namespace {



PortInfo Described(const std::string& name, const char* vendor, const char* product, const char* serial) {
    PortInfo p;
    p.name = name;
    p.vendor = vendor;
    p.product = product;
    p.serialNumber = serial;
    return p;
}

}  // namespace

bool SaveLineTour(TForm1Window& window, const QString& dir) {
    try {
        auto* tools = window.findChild<LineTools*>(QStringLiteral("LineTools"));
        if (tools == nullptr) return false;
        sim::PtyTracker tracker(sim::PtyTrackerOptions{});
        sim::PtyTrackerOptions secondOptions;
        secondOptions.device.imei = "860123456780044";
        secondOptions.device.serial = "QV420A0012399";
        sim::PtyTracker second(secondOptions);
        sim::PtyTracker silent(sim::PtyTrackerOptions{});
        silent.InjectFault(sim::Fault::NoAnswer, -1);

        // Every completion box is answered at once.
        QTimer answer;
        answer.setInterval(5);
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
        });
        answer.start();

        TForm1& logic = window.Logic();
        window.resize(window.width() + 640, window.height());
        window.show();
        tools->Traffic().show();
        window.resizeDocks({&tools->Traffic()}, {700}, Qt::Horizontal);
        window.Controls().SetText("ComboBox1", tracker.SlavePath());
        window.Guard([&] { logic.OpenPortClick(); });
        if (!WaitFor([&] { return window.Dialogs().StatusText(0) == "Connected"; }, 5000) ||
            !WaitFor([&] { return logic.Engine().State().OperationState == OperationState::OpIdle; }, 5000)) {
            std::fprintf(stderr, "quorvane-tours: the simulated tracker did not answer\n");
            return false;
        }
        window.Guard([&] { logic.Click("ReadAllClick"); });
        WaitFor([&] { return window.Dialogs().StatusText(1) == "Read All OK"; }, 5000);
        tools->Traffic().PullNow();
        const bool traffic = SaveWidget(window, QDir(dir).filePath(QStringLiteral("traffic-panel.png")));

        // Find Tracker over two trackers, a silent port and one that does not open,
        // with the window's port closed.
        window.Guard([&] { logic.OpenPortClick(); });
        // The window keeps polling its port source after the trackers here are gone,
        // so the list is shared with it, not taken from the stack.
        auto ports = std::make_shared<const std::vector<PortInfo>>(std::vector<PortInfo>{
            Described(tracker.SlavePath(), "", "", ""),
            Described(second.SlavePath(), "Acme", "USB-Serial Cable", "AC0042"),
            Described(silent.SlavePath(), "", "", ""),
            Described("/dev/ttyUSB9", "Acme", "USB-Serial Cable", "AC0077"),
        });
        logic.Watch().SetPortSource(std::make_shared<FunctionPortSource>([ports] { return *ports; }));
        tools->FindItem().trigger();
        FindTrackerDialog* finder = tools->Finder();
        if (finder == nullptr || !WaitFor([&] { return !finder->Searching(); }, 5000)) return false;
        const bool find = SaveWidget(*finder, QDir(dir).filePath(QStringLiteral("find-tracker.png")));
        finder->close();
        return traffic && find;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvane-tours: %s\n", e.what());
        return false;
    }
}

}  // namespace quorvane
