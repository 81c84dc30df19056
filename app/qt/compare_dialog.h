// Lists what differs between the window and another side (a settings file, the
// tracker, or what the tracker holds after a write): one row per control, grouped by
// tab, with the values as the user sees them. When rows can be taken, each has a tick
// box and "Take selected into window" hands the ticked controls back.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "trust/compare.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvane {

struct CompareView {
    QString title;                      // window title
    QString thisHeading = QStringLiteral("Window");
    QString otherHeading;               // "File", "Tracker", "Read"
    QString summary;                    // empty: counted from the comparison
    QString note;                       // shown above the rows when set (another tracker, ...)
    bool selectable = true;             // tick boxes and "Take selected into window"
};

class CompareDialog : public QDialog {
    Q_OBJECT
public:
    // `take` runs with the ticked controls when "Take selected into window" is pressed.
    CompareDialog(const Comparison& comparison, const CompareView& view,
                  std::function<void(const std::vector<std::string>&)> take, QWidget* parent = nullptr);

    static constexpr int kTabColumn = 0;
    static constexpr int kControlColumn = 1;
    static constexpr int kThisColumn = 2;
    static constexpr int kOtherColumn = 3;

    // "3 controls differ, 412 are equal."
    static QString Summary(const Comparison& comparison);

    QTreeWidget& Rows() const { return *rows_; }
    QLabel& SummaryLabel() const { return *summary_; }
    QLabel& NoteLabel() const { return *note_; }
    QPushButton* TakeButton() const { return take_; }
    // The row of a control (a child of its tab's row); null when it is not listed.
    QTreeWidgetItem* RowOf(const std::string& control) const;
    // The ticked controls, in window order.
    std::vector<std::string> SelectedControls() const;
    void TickAll(bool ticked);

private:
    void UpdateTakeButton();

    QTreeWidget* rows_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* take_ = nullptr;
    std::function<void(const std::vector<std::string>&)> takeSelected_;
};

}  // namespace quorvane
