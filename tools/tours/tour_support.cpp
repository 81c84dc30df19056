#include "tools/tours/tour_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace quorvane {

bool WaitFor(const std::function<bool()>& done, int ms, const char* what) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            if (what != nullptr) std::fprintf(stderr, "quorvane-tours: no %s in time\n", what);
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool SavePicture(const QPixmap& picture, const QString& path) {
    if (!picture.save(path, "PNG")) {
        std::fprintf(stderr, "quorvane-tours: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool SaveWidget(QWidget& widget, const QString& path) {
    QCoreApplication::processEvents();
    return SavePicture(widget.grab(), path);
}

}  // namespace quorvane
