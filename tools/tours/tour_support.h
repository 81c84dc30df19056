// What every tour does: wait on the event loop for something to show, and save what
// shows as a picture.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <functional>

namespace quorvane {

// Runs the event loop until `done` or `ms` have passed. When `what` is given, a wait
// that ran out says on standard error what did not come.
bool WaitFor(const std::function<bool()>& done, int ms, const char* what = nullptr);

// Saves `picture` as a PNG at `path` and prints the path; says so on standard error
// when it cannot.
bool SavePicture(const QPixmap& picture, const QString& path);

// The widget as it shows once pending events are handled.
bool SaveWidget(QWidget& widget, const QString& path);

}  // namespace quorvane
