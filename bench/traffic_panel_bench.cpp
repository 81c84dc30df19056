// Whether the traffic panel slows a Read All: runs Read All in the window (offscreen)
// against the simulated tracker, at full speed and throttled to 115200 baud, with
// the recorder off (the window as it was before the panel), the recorder on and the
// panel hidden, and the panel shown with a full table of 10 000 rows pulling every
// 100 ms. Prints the time from the click to the completion box for each, and what
// one pull of a full recorder costs the window.
//   traffic_panel_bench [ROUNDS]      (default 10)
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/qt/line_tools.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/traffic_panel.h"
#include "app/qt/widget_form.h"
#include "link/engine.h"
#include "link/frame.h"
#include "link/traffic.h"
#include "sim/pty_tracker.h"

namespace {

using quorvane::TForm1Window;

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

enum class Mode { RecorderOff, PanelHidden, PanelShown };
const char* const kModeNames[] = {"recorder off (as before)", "recorder on, panel hidden",
                                  "panel shown, 10 000 rows"};

struct Bench {
    explicit Bench(bool throttle) {
        quorvane::sim::PtyTrackerOptions options;
        options.throttle = throttle;
        tracker = std::make_unique<quorvane::sim::PtyTracker>(options);
        const QByteArray dir = QFile::encodeName(programDir.path() + QLatin1Char('/'));
        window = std::make_unique<TForm1Window>(std::string(dir.constData(), static_cast<std::size_t>(dir.size())));
        window->Create();
        tools = window->findChild<quorvane::LineTools*>(QStringLiteral("LineTools"));
        window->show();
        window->Controls().SetText("ComboBox1", tracker->SlavePath());
        window->Guard([this] { window->Logic().OpenPortClick(); });
        connected = WaitFor([this] { return window->Dialogs().StatusText(0) == "Connected"; }, 10000) &&
                    WaitFor([this] { return Idle(); }, 10000);
    }

    bool Idle() const {
        return window->Logic().Engine().State().OperationState == quorvane::OperationState::OpIdle;
    }

    void Fill() {
        quorvane::TrafficRecorder& recorder = window->Logic().Traffic();
        const std::vector<std::uint8_t> frame = quorvane::MakeFrame(quorvane::CmdReadBlock, std::vector<std::uint8_t>(64, 0x41));
        for (std::size_t i = 0; i < recorder.Capacity(); ++i)
            recorder.RecordFrame(quorvane::TrafficDirection::Received, frame);
    }

    void Set(Mode mode) {
        quorvane::TrafficPanel& panel = tools->Traffic();
        window->Logic().Traffic().SetEnabled(mode != Mode::RecorderOff);
        if (mode == Mode::PanelShown) {
            if (!panel.isVisible()) {
                Fill();
                panel.show();
            }
        } else {
            panel.hide();
        }
        QCoreApplication::processEvents();
    }

    // Milliseconds from the click to the completion box; negative on failure.
    double ReadAll() {
        bool boxShown = false;
        double ms = -1;
        std::optional<quorvane::OperationResult> result;
        quorvane::TransactionEngine& engine = window->Logic().Engine();
        const int hook = engine.AddResultHook([&](const quorvane::OperationResult& r) {
            if (!result) result = r;
        });
        QElapsedTimer clock;
        QTimer answer;
        answer.setInterval(1);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            if (!boxShown) {
                ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
                boxShown = true;
            }
            box->accept();
        });
        answer.start();
        clock.start();
        window->Guard([this] { window->Logic().Click("ReadAllClick"); });
        WaitFor([&] { return result.has_value() && Idle(); }, 20000);
        engine.RemoveResultHook(hook);
        const bool ok = result && result->op == quorvane::Operation::ReadAll &&
                        result->outcome == quorvane::Outcome::Completed;
        return ok ? ms : -1;
    }

    QTemporaryDir programDir;
    std::unique_ptr<quorvane::sim::PtyTracker> tracker;
    std::unique_ptr<TForm1Window> window;
    quorvane::LineTools* tools = nullptr;
    bool connected = false;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool Run(bool throttle, int rounds) {
    Bench bench(throttle);
    if (!bench.connected) {
        std::fprintf(stderr, "traffic_panel_bench: the simulated tracker did not answer\n");
        return false;
    }
    std::vector<double> times[3];
    // Modes take turns within each round, so drift in the machine's load hits all alike.
    for (int r = 0; r < rounds; ++r) {
        for (Mode mode : {Mode::RecorderOff, Mode::PanelHidden, Mode::PanelShown}) {
            bench.Set(mode);
            const double ms = bench.ReadAll();
            if (ms < 0) {
                std::fprintf(stderr, "traffic_panel_bench: Read All did not complete\n");
                return false;
            }
            times[static_cast<int>(mode)].push_back(ms);
        }
        bench.Set(Mode::PanelHidden);  // the next round starts from a hidden panel again
    }
    std::printf("Read All, %s, %d rounds: click to completion box (ms)\n",
                throttle ? "tracker throttled to 115200 baud" : "tracker at full speed", rounds);
    std::printf("  %-28s %9s %9s %9s\n", "", "median", "mean", "max");
    for (int m = 0; m < 3; ++m) {
        const std::vector<double>& t = times[m];
        std::printf("  %-28s %9.1f %9.1f %9.1f\n", kModeNames[m], Median(t),
                    std::accumulate(t.begin(), t.end(), 0.0) / static_cast<double>(t.size()),
                    *std::max_element(t.begin(), t.end()));
    }
    return true;
}

void PullCost() {
    Bench bench(false);
    quorvane::TrafficPanel& panel = bench.tools->Traffic();
    panel.show();
    QCoreApplication::processEvents();
    bench.Fill();
    QElapsedTimer clock;
    clock.start();
    panel.PullNow();
    QCoreApplication::processEvents();
    const double first = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    // A batch as a Read All brings it in 100 ms, into a full table.
    const std::vector<std::uint8_t> frame = quorvane::MakeFrame(quorvane::CmdReadBlock, std::vector<std::uint8_t>(64, 0x41));
    for (int i = 0; i < 20; ++i) bench.window->Logic().Traffic().RecordFrame(quorvane::TrafficDirection::Sent, frame);
    clock.restart();
    panel.PullNow();
    const double pull = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    clock.restart();
    QCoreApplication::processEvents();
    const double paint = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    std::printf("Panel: 10 000 rows pulled and painted at once %.1f ms; 20 new rows into a full table: "
                "pulled %.2f ms, painted %.2f ms\n",
                first, pull, paint);
}

}  // namespace

int main(int argc, char** argv) {
    const bool pullOnly = argc > 2 && std::string(argv[2]) == "pull";
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    PullCost();
    if (pullOnly) return 0;
    if (!Run(false, rounds)) return 1;
    if (!Run(true, std::max(1, rounds / 2))) return 1;
    return 0;
}
