// quorvane-tours: pictures of the editor's window for the documentation, made
// offscreen against simulated trackers. Built with the tests, never installed.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTabWidget>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/qt/main_window.h"
#include "app/qt/widget_form.h"
#include "tools/tours/afternoon_tour.h"
#include "tools/tours/line_tour.h"
#include "tools/tours/station_tour.h"
#include "tools/tours/trust_tour.h"

namespace {

constexpr const char* kUsage =
    "Usage: quorvane-tours [--port NAME] DIR\n"
    "\n"
    "Saves a picture of each tab of the editor's window to DIR/NN-<tab>.png, then of the\n"
    "Traffic panel and Find Tracker (traffic-panel.png, find-tracker.png), the changed\n"
    "marks, the compare dialog and Find (changes-*.png, compare-dialog.png, find.png),\n"
    "the Event tab at the smallest width and a failed check after a write\n"
    "(event-tab-minimum-width.png, verify-failed*.png) and the station window\n"
    "(station-window.png) against simulated trackers. Needs no display.\n"
    "\n"
    "  --port NAME  the port shown in the tabs' pictures (ttyUSB0, ...)\n"
    "  --help       show this text\n";

bool SaveTabs(quorvane::TForm1Window& window, const QString& dir) {
    window.show();
    QTabWidget& pages = window.PageControl();
    for (int i = 0; i < pages.count(); ++i) {
        pages.setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QString path =
            QDir(dir).filePath(QStringLiteral("%1-%2.png").arg(i + 1, 2, 10, QLatin1Char('0')).arg(pages.tabText(i)));
        if (!window.grab().save(path, "PNG")) {
            std::fprintf(stderr, "quorvane-tours: cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
    }
    pages.setCurrentIndex(0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> port;
    std::optional<std::string> dir;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else if (!arg.starts_with("-") && !dir) {
            dir = std::string(arg);
        } else {
            std::fprintf(stderr, "quorvane-tours: unexpected argument %s\n\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (!dir) {
        std::fprintf(stderr, "quorvane-tours: no folder given\n\n%s", kUsage);
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvane-editor"));
    const QString out = QString::fromLocal8Bit(dir->c_str());
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "quorvane-tours: cannot create %s\n", qPrintable(out));
        return 1;
    }

    const QByteArray encoded = QFile::encodeName(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    const std::string programDir(encoded.constData(), static_cast<std::size_t>(encoded.size()));
    quorvane::TForm1Window window(programDir);
    window.Create();
    if (port) window.Controls().SetText("ComboBox1", *port);

    if (!SaveTabs(window, out)) return 1;
    // The tools' pictures need simulated trackers; the write-safety ones come from a
    // window of their own.
    if (!quorvane::SaveLineTour(window, out)) return 1;
    if (!quorvane::SaveTrustTour(out, programDir)) return 1;
    if (!quorvane::SaveStationTour(out, programDir)) return 1;
    return quorvane::SaveAfternoonTour(out, programDir) ? 0 : 1;
}
