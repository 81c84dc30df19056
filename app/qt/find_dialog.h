// Find: a search box over every control's label, name and settings key, the matches
// listed with their tab as the user types. Choosing one hands it to the window, which
// shows and focuses the control. "Changed only" lists only the marked controls.
#pragma once

#include <QDialog>
#include <QIcon>

#include <functional>
#include <string>
#include <vector>

#include "app/find.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTreeWidget;

namespace quorvane {

class FindDialog : public QDialog {
    Q_OBJECT
public:
    // `changed` lists the marked controls; `choose` shows one control and says whether
    // it could take the focus.
    // `changedIcon` marks the changed controls in the list.
    FindDialog(std::function<std::vector<std::string>()> changed, std::function<bool(const FindMatch&)> choose,
               QIcon changedIcon, QWidget* parent = nullptr);

    static constexpr int kTabColumn = 0;
    static constexpr int kLabelColumn = 1;
    static constexpr int kNameColumn = 2;
    static constexpr int kKeyColumn = 3;

    QLineEdit& Query() const { return *query_; }
    QCheckBox& ChangedOnly() const { return *changedOnly_; }
    QTreeWidget& Matches() const { return *matches_; }
    QLabel& Hint() const { return *hint_; }

    // Lists the matches of the box's text anew.
    void Search();
    // Shows the match of row `row` (the current one for -1) in the window.
    void Choose(int row = -1);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<std::vector<std::string>()> changed_;
    std::function<bool(const FindMatch&)> choose_;
    QIcon changedIcon_;
    std::vector<FindMatch> found_;
    QLineEdit* query_ = nullptr;
    QCheckBox* changedOnly_ = nullptr;
    QTreeWidget* matches_ = nullptr;
    QLabel* hint_ = nullptr;
};

}  // namespace quorvane
