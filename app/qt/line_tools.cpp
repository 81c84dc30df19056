#include "app/qt/line_tools.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>

#include <algorithm>

#include "app/form1.h"
#include "app/qt/find_tracker_dialog.h"
#include "app/qt/latin1.h"
#include "app/qt/main_window.h"
#include "app/qt/port_combo_box.h"
#include "app/qt/traffic_panel.h"
#include "app/qt/widget_form.h"
#include "link/traffic.h"

namespace quorvane {

LineTools::LineTools(TForm1Window& window)
    : QObject(&window),
      window_(window),
      source_([&window] { return window.Logic().Watch().Ports().List(); }),
      watcher_(source_) {
    setObjectName(QStringLiteral("LineTools"));
    TForm1& logic = window.Logic();
    QMenu* tools = window.ToolsMenu();

    traffic_ = new TrafficPanel(logic.Traffic(), &window);
    window.addDockWidget(Qt::RightDockWidgetArea, traffic_);
    traffic_->hide();
    // A size the user left it at wins over the first width.
    trafficSized_ = !window.Options().Text(QString::fromLatin1(TForm1Window::kDockStateKey)).isEmpty();
    trafficItem_ = traffic_->toggleViewAction();
    trafficItem_->setText(QStringLiteral("&Traffic"));
    trafficItem_->setObjectName(QStringLiteral("Traffic1"));
    tools->addAction(trafficItem_);
    connect(trafficItem_, &QAction::toggled, this, [this](bool shown) {
        // Once the window has grown by the panel.
        if (!shown) return;
        if (!trafficSized_ && !traffic_->isFloating())
            window_.resizeDocks({traffic_}, {TrafficPanel::kPreferredWidth}, Qt::Horizontal);
        trafficSized_ = true;
        QTimer::singleShot(0, this, [this] { KeepOnScreen(); });
    });

    reconnectItem_ = tools->addAction(QStringLiteral("&Reconnect Automatically"));
    reconnectItem_->setObjectName(QStringLiteral("ReconnectAutomatically1"));
    reconnectItem_->setCheckable(true);
    const bool reconnect = window.Options().Flag(QString::fromLatin1(kReconnectOption), true);
    reconnectItem_->setChecked(reconnect);
    logic.Watch().SetReconnectAutomatically(reconnect);
    connect(reconnectItem_, &QAction::toggled, this, [this](bool on) {
        window_.Logic().Watch().SetReconnectAutomatically(on);
        window_.Options().SetFlag(QString::fromLatin1(kReconnectOption), on);
    });

    findItem_ = tools->addAction(QStringLiteral("Find Trac&ker..."));
    findItem_->setObjectName(QStringLiteral("FindTracker1"));
    connect(findItem_, &QAction::triggered, this, [this] { OpenFinder(); });

    portBox_ = dynamic_cast<PortComboBox*>(&window.Controls().Widget("ComboBox1"));
    if (portBox_ != nullptr) portBox_->SetDescriber([this] { return Describe(); });

    // The list FormCreate is about to show is the baseline, not a change.
    window.Guard([this] { watcher_.Poll(); });
    portWatch_.setInterval(kPortWatchIntervalMs);
    connect(&portWatch_, &QTimer::timeout, this, [this] { CheckPorts(); });
    portWatch_.start();
}

LineTools::~LineTools() = default;

QHash<QString, QString> LineTools::Describe() const {
    QHash<QString, QString> descriptions;
    for (const PortInfo& port : window_.Logic().Watch().Ports().List()) {
        const std::string description = port.Description();
        if (!description.empty()) descriptions.insert(ToQt(port.name), ToQt(description));
    }
    return descriptions;
}

void LineTools::CheckPorts() {
    bool changed = false;
    window_.Guard([&] { changed = watcher_.Poll(); });
    refillPending_ = refillPending_ || changed;
    if (!refillPending_ || portBox_ == nullptr) return;
    // Never under the user's hands: an open list or a name being typed waits.
    const bool listOpen = portBox_->view()->isVisible();
    const bool typing = portBox_->lineEdit() != nullptr && portBox_->lineEdit()->hasFocus() &&
                        portBox_->lineEdit()->isModified();
    if (listOpen || typing) return;
    refillPending_ = false;
    QHash<QString, QString> descriptions;
    for (const PortInfo& port : watcher_.Ports()) {
        const std::string description = port.Description();
        if (!description.empty()) descriptions.insert(ToQt(port.name), ToQt(description));
    }
    portBox_->SetDescriptions(std::move(descriptions));
    window_.Guard([this] { window_.Logic().ComboBox1DropDown(); });
}

void LineTools::KeepOnScreen() {
    const QScreen* screen = window_.screen();
    if (screen == nullptr || window_.isMaximized() || window_.isFullScreen() || traffic_->isFloating()) return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window_.frameGeometry();
    if (frame.right() <= area.right()) return;
    // Moved left as far as it needs and the screen allows.
    const int left = std::max(area.left(), frame.left() - (frame.right() - area.right()));
    window_.move(window_.x() + (left - frame.left()), window_.y());
}

void LineTools::OpenFinder() {
    if (finder_ == nullptr) finder_ = new FindTrackerDialog(window_);
    finder_->show();
    finder_->raise();
    finder_->activateWindow();
    finder_->Search();
}

}  // namespace quorvane
