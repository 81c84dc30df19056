// The traffic panel: the rows of the line's traffic recorder as a table in a dock
// beside the window. A timer pulls the rows recorded since the last pull, so a Read
// All at full speed costs the table one batch every 100 ms and never a repaint per
// frame. Pause, clear, filters by direction and command, copy and save.
#pragma once

#include <QAbstractTableModel>
#include <QDockWidget>
#include <QSortFilterProxyModel>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/traffic.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QTableView;

namespace quorvane {

// The rows pulled from the recorder, at most as many as the recorder keeps.
class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColTime, ColDirection, ColCommand, ColLength, ColSummary, ColBytes, ColumnCount };
    // Raw values for the filter, beside the display texts.
    static constexpr int kDirectionRole = Qt::UserRole + 1;

    explicit TrafficModel(TrafficRecorder& recorder, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Takes the rows recorded since the last pull in one insertion, dropping the oldest
    // beyond the recorder's capacity in one removal. The number of new rows.
    std::size_t Pull();
    // Empties the table and the recorder; rows recorded from now on still come.
    void Clear();

    // A row as the table keeps it: the bytes of a long one are cut to what a cell shows.
    const TrafficRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    // A row as the trace file writes it, with every byte the recorder still has.
    std::string RowText(int row) const;
    // The command column's text: the command's name, "-" for bytes outside a frame.
    static QString CommandText(const TrafficRow& row);

private:
    TrafficRecorder& recorder_;
    std::deque<TrafficRow> rows_;
    std::uint64_t last_ = 0;  // the recorder's sequence number of the newest row pulled
};

// Direction and command filters over the model.
class TrafficFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    // Empty: every direction / command.
    void SetDirection(const QString& direction);
    void SetCommand(const QString& command);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString direction_;
    QString command_;
};

class TrafficPanel : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kPullIntervalMs = 100;
    // Docked beside the window at first: narrow enough that the window and the panel
    // fit side by side on a 1366 pixels wide screen.
    static constexpr int kPreferredWidth = 540;

    // Turns the recorder on: the panel shows what went over the line also before it
    // was first opened.
    explicit TrafficPanel(TrafficRecorder& recorder, QWidget* parent = nullptr);

    TrafficModel& Model() { return model_; }
    TrafficFilter& Filter() { return filter_; }
    QTableView& Table() const { return *table_; }
    QTimer& PullTimer() { return pull_; }

    bool Paused() const;
    void SetPaused(bool paused);
    // Pulls what is new now (the timer's work, also for tests).
    void PullNow();
    void Clear();
    void SetDirectionFilter(const QString& direction);
    void SetCommandFilter(const QString& command);

    // The selected rows that the filter shows, one text line each, in table order.
    QString SelectedText() const;
    void CopySelected() const;
    // Every row of the table (not only the filtered ones), one text line each.
    QString AllText() const;
    // Writes a heading line and AllText to `path`; false with `error` set when it cannot.
    bool SaveTo(const QString& path, QString& error) const;

    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SaveAs();
    void AddCommandChoice(const QString& command, const QString& caption = QString());
    void AddNewCommands(int first);
    void UpdateCount();

    TrafficModel model_;
    TrafficFilter filter_;
    QTimer pull_;
    QString saveFolder_;  // where the traffic was last saved
    QTableView* table_ = nullptr;
    QCheckBox* pause_ = nullptr;
    QComboBox* direction_ = nullptr;
    QComboBox* command_ = nullptr;
    QLabel* count_ = nullptr;
};

}  // namespace quorvane
