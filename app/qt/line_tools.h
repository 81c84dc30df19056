// The window's tools for the serial line, in the Tools menu: the traffic panel,
// "Reconnect Automatically", "Find Tracker"; and, without a menu item, the port box
// that describes its ports and follows adapters being plugged in and out.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include "serial/port_list.h"

class QAction;

namespace quorvane {

class FindTrackerDialog;
class PortComboBox;
class TForm1Window;
class TrafficPanel;

class LineTools : public QObject {
    Q_OBJECT
public:
    static constexpr int kPortWatchIntervalMs = 1000;
    // The user option that keeps "Reconnect Automatically".
    static constexpr const char* kReconnectOption = "Tools/ReconnectAutomatically";

    // Adds the items to the window's Tools menu and the panel to its dock area, and
    // starts watching the port list.
    explicit LineTools(TForm1Window& window);
    ~LineTools() override;

    TrafficPanel& Traffic() const { return *traffic_; }
    QAction& TrafficItem() const { return *trafficItem_; }
    QAction& ReconnectItem() const { return *reconnectItem_; }
    QAction& FindItem() const { return *findItem_; }
    QTimer& PortWatch() { return portWatch_; }
    // The Find Tracker window once opened, else null.
    FindTrackerDialog* Finder() const { return finder_; }

    // The port watch's work: when ports came or went, the box's list is refilled as
    // opening it would (unless the list is open or the user is typing a name; then at
    // a later tick) and the descriptions follow.
    void CheckPorts();
    // The descriptions of the ports the system lists now, by name.
    QHash<QString, QString> Describe() const;

    // A window that grew by the docked panel beyond the screen's right edge moves left.
    void KeepOnScreen();

private:
    void OpenFinder();

    TForm1Window& window_;
    PortComboBox* portBox_ = nullptr;
    TrafficPanel* traffic_ = nullptr;
    QAction* trafficItem_ = nullptr;
    QAction* reconnectItem_ = nullptr;
    QAction* findItem_ = nullptr;
    FindTrackerDialog* finder_ = nullptr;
    // Follows whatever port source the logic uses, also one a test sets later.
    FunctionPortSource source_;
    PortWatcher watcher_;
    bool refillPending_ = false;
    bool trafficSized_ = false;
    QTimer portWatch_;
};

}  // namespace quorvane
