#include "tools/tours/station_tour.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/qt/main_window.h"
#include "app/qt/station/station_window.h"
#include "serial/port_list.h"
#include "sim/pty_tracker.h"
#include "tools/tours/tour_support.h"

namespace quorvane {
namespace {


}  // namespace

bool SaveStationTour(const QString& dir, const std::string& programDir) {
    // Throttled, so the picture catches the others still writing.
    std::vector<std::unique_ptr<sim::PtyTracker>> trackers;
    std::vector<std::string> ports;
    for (int i = 0; i < 5; ++i) {
        sim::PtyTrackerOptions o;
        o.throttle = true;
        o.device.imei = std::to_string(860123456789010LL + i);
        trackers.push_back(std::make_unique<sim::PtyTracker>(o));
        ports.push_back(trackers.back()->SlavePath());
    }
    trackers[2]->InjectFault(sim::Fault::WrongCommand, 1, std::uint8_t{0x58});

    TForm1Window window(programDir);
    window.Create();
    window.MenuItem(QStringLiteral("Station1"))->trigger();
    auto* station = window.findChild<StationWindow*>(QStringLiteral("StationWindow"));
    if (station == nullptr) {
        std::fprintf(stderr, "quorvane-tours: no station window\n");
        return false;
    }
    station->SetPortSource(std::make_shared<FunctionPortSource>([ports] { return BarePorts(ports); }));
    QTemporaryDir data;
    StationProfile p;
    p.name = QStringLiteral("Fleet west");
    p.verify = true;
    p.repeat = true;
    p.recordFile = data.filePath(QStringLiteral("station-record.jsonl"));
    station->ShowProfile(p);
    station->resize(1180, 640);
    station->show();
    station->Start();
    const std::string& failed = ports[2];
    const bool caught = WaitFor(
        [&] {
            return station->RowText(failed, StationWindow::ColState) == QLatin1String("FAILED") &&
                   station->RowText(ports[4], StationWindow::ColState).startsWith(QLatin1String("writing 4"));
        },
        30000);
    station->SelectPort(failed);
    QCoreApplication::processEvents();
    const QString path = QDir(dir).filePath(QStringLiteral("station-window.png"));
    const bool saved = caught && station->grab().save(path, "PNG");
    station->EndNow();
    if (!saved) {
        std::fprintf(stderr, "quorvane-tours: %s not made (the run was %s)\n", qPrintable(path),
                     caught ? "caught" : "not caught in time");
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace quorvane
