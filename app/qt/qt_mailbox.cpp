#include "app/qt/qt_mailbox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QtDebug>

#include <exception>
#include <utility>

namespace quorvane {

namespace {

const QEvent::Type kWorkEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class WorkEvent : public QEvent {
public:
    explicit WorkEvent(std::function<void()> work) : QEvent(kWorkEvent), work_(std::move(work)) {}
    const std::function<void()>& Work() const { return work_; }

private:
    std::function<void()> work_;
};

}  // namespace

QtMailbox::QtMailbox(QObject* parent) : QObject(parent) {}

void QtMailbox::Post(std::function<void()> work) {
    // postEvent is thread-safe and keeps the order of events of one priority.
    QCoreApplication::postEvent(this, new WorkEvent(std::move(work)));
}

void QtMailbox::SetRunner(Runner runner) { runner_ = std::move(runner); }

void QtMailbox::customEvent(QEvent* event) {
    if (event->type() != kWorkEvent) {
        QObject::customEvent(event);
        return;
    }
    const auto& work = static_cast<WorkEvent*>(event)->Work();
    if (!work) return;
    if (runner_) {
        runner_(work);
        return;
    }
    // No exception may unwind into Qt's event loop.
    try {
        work();
    } catch (const std::exception& e) {
        qWarning("posted work failed: %s", e.what());
    } catch (...) {
        qWarning("posted work failed");
    }
}

}  // namespace quorvane
