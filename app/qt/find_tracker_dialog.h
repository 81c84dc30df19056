// "Find Tracker": a window that sends the connect request on every listed port at
// once and lists, within two seconds, the ports where a tracker answered (IMEI,
// serial number, firmware), the ports that stayed silent and the ports that could not
// be opened with the reason. Choosing a tracker's port puts it into the port box.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "app/find_tracker.h"
#include "app/qt/qt_mailbox.h"
#include "serial/port_list.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace quorvane {

class TForm1Window;

class FindTrackerDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 20;
    enum Column { ColPort, ColImei, ColSerial, ColFirmware, ColResult, ColumnCount };

    explicit FindTrackerDialog(TForm1Window& window);
    ~FindTrackerDialog() override;

    // Starts a search over the ports the system lists now, the port box's text and
    // the ports added here (the port the window has open is left alone). An authorization code that is not a number goes to the
    // error box and nothing is opened.
    void Search();
    bool Searching() const { return finder_ != nullptr && !finder_->Done(); }
    // The last search's results, in the order of the port list.
    const std::vector<FindResult>& Results() const { return results_; }
    QTreeWidget& List() const { return *list_; }
    QTimer& PollTimer() { return poll_; }
    // Puts the port of result `index` into the port box; false when it is no tracker.
    bool Choose(int index);
    // Adds a port by its path to those asked (for as long as the window lives) and
    // searches again.
    void AddPort(const std::string& path);

private:
    void PollFinder();
    void ShowResults();
    int SelectedIndex() const;

    TForm1Window& window_;
    QtMailbox mailbox_;
    std::unique_ptr<TrackerFinder> finder_;
    std::vector<FindResult> results_;
    std::vector<PortInfo> skipped_;  // the window's own open port
    std::vector<std::string> addedPaths_;
    QLineEdit* path_ = nullptr;
    QTimer poll_;
    QLabel* status_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* again_ = nullptr;
    QPushButton* use_ = nullptr;
};

}  // namespace quorvane
