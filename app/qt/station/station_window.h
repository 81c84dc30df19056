// The station window (Tools > Station...): provisions a bench of trackers on the
// ports of the port list with the core station, one row per port with its state,
// progress, tracker identity, result, time and attempts; totals; the selected
// port's log and, on demand, its traffic. Non-modal, beside the main window; it
// never uses the port the main window has open.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/station/station_profile.h"
#include "app/qt/station/station_runner.h"
#include "serial/port_list.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quorvane {

class PortSource;
class TForm1Window;

class StationWindow : public QWidget, public StationListener {
    Q_OBJECT
public:
    enum Column { ColPort, ColAdapter, ColState, ColProgress, ColImei, ColSn, ColFirmware, ColResult, ColTime,
                  ColAttempts, ColumnCount };

    explicit StationWindow(TForm1Window& main);
    ~StationWindow() override;

    // Where the ports come from; the main window's port list by default.
    void SetPortSource(std::shared_ptr<PortSource> source);
    // Lists the ports again (the window does so every second).
    void RefreshPorts();

    bool Running() const { return runner_ && runner_->Running(); }
    // Asks whether to stop a running station; on Yes ends it at once (every run in
    // flight keeps its record) and returns true. True at once when nothing runs.
    bool ConfirmStop();
    // Ends a running station at once, without asking.
    void EndNow();

    void Start();
    void Stop();

    StationProfile ProfileFromControls() const;
    void ShowProfile(const StationProfile& profile);

    // Tests and screenshots.
    QTableWidget& Rows() const { return *table_; }
    QString RowText(const std::string& port, Column column) const;
    QPlainTextEdit& Log() const { return *log_; }
    QLineEdit& Totals() const { return *totals_; }
    QLabel& Error() const { return *error_; }
    void SelectPort(const std::string& port);
    void ShowTraffic(bool on);

    // StationListener
    void OnPortEvent(const PortEvent& event) override;
    void OnPortLine(const std::string& port, const std::string& line) override;
    void OnStationEnded(int exitStatus) override;

signals:
    void StationEnded(int exitStatus);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Row {
        int index = 0;
        PortState state = PortState::Waiting;
        bool ended = false;  // the last tracker's run has ended: its row says so until the next
        int done = 0;
        int total = 0;
        std::deque<QString> log;
        QString traffic;  // the traffic of the run that ended last
        int look = -1;  // 0 under way, 1 done, 2 failed: how the row is drawn
        int barValue = -1;
        int barMaximum = 8;
    };

    void BuildControls();
    Row& RowOf(const std::string& port);
    void SetCell(const Row& row, Column column, const QString& text);
    void ShowState(Row& row);
    void SetBar(Row& row, int value, int maximum);
    void ShowEnded(Row& row, const PortRecord& record);
    void UpdateTotals();
    void ShowSelected();
    QString TrafficOf(const std::string& port) const;
    std::vector<PortInfo> ListedPorts() const;
    void SetRunning(bool running);
    void ShowError(const QString& text);

    TForm1Window& main_;
    std::shared_ptr<PortSource> source_;
    std::unique_ptr<StationRunner> runner_;
    std::map<std::string, Row> rows_;
    std::vector<PortInfo> listed_;
    QTimer portTimer_;
    QElapsedTimer runClock_;
    int served_ = 0;
    int completed_ = 0;
    int failed_ = 0;
    bool showTraffic_ = false;

    QLineEdit* name_ = nullptr;
    QComboBox* values_ = nullptr;
    QLineEdit* valuesFile_ = nullptr;
    QLineEdit* perTracker_ = nullptr;
    QComboBox* command_ = nullptr;
    QLineEdit* readFolder_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QCheckBox* backup_ = nullptr;
    QLineEdit* backupFolder_ = nullptr;
    QSpinBox* retry_ = nullptr;
    QCheckBox* repeat_ = nullptr;
    QCheckBox* record_ = nullptr;
    QLineEdit* recordFile_ = nullptr;
    QCheckBox* allPorts_ = nullptr;
    QListWidget* ports_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* openRecord_ = nullptr;
    QPushButton* traffic_ = nullptr;
    QLabel* error_ = nullptr;
    QLineEdit* totals_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QWidget* profileBox_ = nullptr;
};

// "Station..." in the Tools menu; asks before the main window closes while the
// station serves trackers.
class StationTools : public QObject {
    Q_OBJECT
public:
    explicit StationTools(TForm1Window& main);
    // Created on first use.
    StationWindow& Window();
    bool HasWindow() const { return window_ != nullptr; }

private:
    TForm1Window& main_;
    StationWindow* window_ = nullptr;
};

}  // namespace quorvane
