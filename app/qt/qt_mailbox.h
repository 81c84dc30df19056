// The window's mailbox: work posted from any thread runs on the GUI thread through
// Qt's event queue, in posting order.
#pragma once

#include <QObject>

#include <functional>

#include "serial/mailbox.h"

namespace quorvane {

class QtMailbox : public QObject, public Mailbox {
    Q_OBJECT
public:
    // Runs one piece of posted work; the window passes a runner that guards it.
    using Runner = std::function<void(const std::function<void()>&)>;

    explicit QtMailbox(QObject* parent = nullptr);

    void Post(std::function<void()> work) override;
    void SetRunner(Runner runner);

protected:
    void customEvent(QEvent* event) override;

private:
    Runner runner_;
};

}  // namespace quorvane
