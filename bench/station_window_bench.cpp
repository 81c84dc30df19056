// Whether the station window costs line time: eight and then thirty-two throttled
// simulated trackers (115200 baud) get write-all with verify, once from
// quorvane-cli's station and once from the station window (offscreen), on the same
// trackers. Prints each wall time, their ratio, and the longest time the window's
// event loop was kept from running while the window's station ran: the longest
// single event, Start itself, and the longest gap between the ticks of a 1 ms
// timer (which also holds whatever the machine's other work took from the loop).
//   station_window_bench [CLI] [ROUNDS]          (default: the built quorvane-cli, 2)
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "app/qt/station/station_window.h"
#include "serial/port_list.h"
#include "sim/pty_tracker.h"
#include "tests/support/child_process.h"

namespace {

using quorvane::StationProfile;
using quorvane::StationWindow;
using quorvane::TForm1Window;

// Times every event the window's event loop hands out: the longest is the longest
// time the loop was kept from running by the window's own work.
class TimingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = ThreadCpuMs();
        const int type = event->type();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        longestCpuMs = std::max(longestCpuMs, ThreadCpuMs() - cpuBefore);
        if (ms > longestMs) {
            longestMs = ms;
            longestWhat = QStringLiteral("%1 event %2").arg(QString::fromLatin1(receiver->metaObject()->className())).arg(type);
        }
        return handled;
    }
    // CPU time of this thread: the loop's own work, without what other threads took.
    static double ThreadCpuMs() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
    double longestMs = 0;
    double longestCpuMs = 0;
    QString longestWhat;
};

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        // Sleeps until an event comes: a busy wait would take a core from the trackers.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

std::vector<std::unique_ptr<quorvane::sim::PtyTracker>> Trackers(int count, bool throttle) {
    std::vector<std::unique_ptr<quorvane::sim::PtyTracker>> trackers;
    for (int i = 0; i < count; ++i) {
        quorvane::sim::PtyTrackerOptions o;
        o.throttle = throttle;
        o.device.imei = std::to_string(860000000000000LL + i);
        trackers.push_back(std::make_unique<quorvane::sim::PtyTracker>(o));
    }
    return trackers;
}

struct Editor {
    Editor() {
        window = std::make_unique<TForm1Window>(Local(programDir.path() + QLatin1Char('/')));
        window->Create();
        window->MenuItem(QStringLiteral("Station1"))->trigger();
        station = window->findChild<StationWindow*>(QStringLiteral("StationWindow"));
    }
    QTemporaryDir programDir;
    std::unique_ptr<TForm1Window> window;
    StationWindow* station = nullptr;
};

void UsePorts(StationWindow& station, const std::vector<std::string>& ports) {
    station.SetPortSource(
        std::make_shared<quorvane::FunctionPortSource>([ports] { return quorvane::BarePorts(ports); }));
}

// The window's run: its wall time, and the event loop's longest pause meanwhile.
struct WindowRun {
    double wall = -1;
    double longestBlockMs = 0;  // between two ticks of a 1 ms timer: the machine's scheduling included
    double longestEventMs = 0;  // one event's handling
    double longestEventCpuMs = 0;  // the same in the loop thread's CPU time
    double startMs = 0;         // Start(), on the loop's thread
    QString longestWhat;
    bool ok = false;
};

WindowRun RunInWindow(Editor& editor, const std::vector<std::string>& ports, const QString& settings,
                      const QString& record) {
    StationWindow& station = *editor.station;
    UsePorts(station, ports);
    StationProfile p;
    p.name = QStringLiteral("bench");
    p.values = StationProfile::Values::File;
    p.valuesFile = settings;
    p.verify = true;
    p.recordFile = record;
    station.ShowProfile(p);

    // A 1 ms timer: the largest gap between its ticks is the longest block.
    WindowRun run;
    QElapsedTimer gap;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        run.longestBlockMs = std::max(run.longestBlockMs, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    bool ended = false;
    const auto connection = QObject::connect(&station, &StationWindow::StationEnded, [&](int status) {
        ended = true;
        run.ok = status == 0;
    });
    QElapsedTimer wall;
    wall.start();
    gap.start();
    probe.start();
    auto* app = static_cast<TimingApplication*>(QCoreApplication::instance());
    app->longestMs = 0;
    app->longestCpuMs = 0;
    station.Start();  // on the event loop's thread: counted as a block
    run.startMs = static_cast<double>(gap.nsecsElapsed()) / 1e6;
    run.longestBlockMs = std::max(run.longestBlockMs, run.startMs);
    gap.restart();
    WaitFor([&] { return ended; }, 120000);
    run.wall = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    probe.stop();
    run.longestEventMs = app->longestMs;
    run.longestEventCpuMs = app->longestCpuMs;
    run.longestWhat = app->longestWhat;
    QObject::disconnect(connection);
    return run;
}

double RunCli(const std::string& cli, const std::vector<std::string>& ports, const QString& settings, int& exit) {
    std::vector<std::string> args = {cli};
    for (const std::string& p : ports) args.insert(args.end(), {"--port", p});
    args.insert(args.end(), {"--load", Local(settings), "--verify", "write-all"});
    const auto start = std::chrono::steady_clock::now();
    exit = quorvane::test_support::RunProcess(args, std::chrono::seconds(120)).exitCode;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TimingApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);

    const std::filesystem::path bin = std::filesystem::absolute(argv[0]).parent_path().parent_path();
    const std::string cli = argc > 1 ? argv[1] : (bin / "cli" / "quorvane-cli").string();
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 2;
    QTemporaryDir data;
    const QString settings = data.filePath(QStringLiteral("bench.ini"));
    const QString record = data.filePath(QStringLiteral("record.jsonl"));
    Editor editor;
    bool ok = true;
    std::printf("write-all --verify on throttled simulated trackers: quorvane-cli's station against the window's\n");
    for (const int count : {8, 32}) {
        auto trackers = Trackers(count, true);
        std::vector<std::string> ports;
        for (const auto& t : trackers) ports.push_back(t->SlavePath());
        if (!std::filesystem::exists(Local(settings))) {
            quorvane::test_support::RunProcess({cli, "--port", ports.front(), "read-all", Local(settings)});
        }
        for (int round = 0; round < rounds; ++round) {
            int exit = -1;
            const double cliWall = RunCli(cli, ports, settings, exit);
            const WindowRun window = RunInWindow(editor, ports, settings, record);
            std::printf("%2d ports: quorvane-cli wall %.3f s (exit %d) | window wall %.3f s (%s), %.2f x the command "
                        "line | event loop: longest event %.1f ms (%s; its CPU time at most %.1f ms), Start %.1f ms, "
                        "longest gap between 1 ms ticks %.1f ms\n",
                        count, cliWall, exit, window.wall, window.ok ? "all completed" : "NOT all completed",
                        window.wall / cliWall, window.longestEventMs, window.longestWhat.toLatin1().constData(), window.longestEventCpuMs, window.startMs, window.longestBlockMs);
            ok = ok && exit == 0 && window.ok;
        }
    }
    return ok ? 0 : 1;
}
