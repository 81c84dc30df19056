// The window's marks on what changed since the tracker was last read or written: a
// framed corner flag over each changed control, and an icon on each tab holding one;
// and the marks on the controls a check after a write found different.
// A control's mark follows its own change signals; a whole refresh runs only when the
// logic says the reference changed (a read, a write, a load, a take from a compare).
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QTabWidget;
class QWidget;

namespace quorvane {

class WidgetForm;

class ChangeMarks : public QObject {
    Q_OBJECT
public:
    // `changed`: does this control differ from the reference now; `all`: every
    // control that does. Both ask the logic; the marks keep no values of their own.
    ChangeMarks(WidgetForm& form, QTabWidget& pages, std::function<bool(const std::string&)> changed,
                std::function<std::vector<std::string>()> all, QObject* parent = nullptr);
    ~ChangeMarks() override;

    // Marks every control anew.
    void Refresh();
    // Marks one control anew (its value changed).
    void RefreshControl(const std::string& control);

    bool Marked(const std::string& control) const;
    // The marked controls, in window order.
    std::vector<std::string> MarkedControls() const;
    // True when page `index` of the tab widget holds a marked control.
    bool TabMarked(int index) const;
    // The mark drawn over a control (tests and pictures); null when it is not marked.
    QWidget* MarkOf(const std::string& control) const;

    // Marks `controls` as having failed the check after a write: their value read
    // back differs from the one written. The mark is not the changed mark (another
    // shape, a badge and its own tip); it replaces earlier such marks and goes with
    // the next Refresh. An empty list clears them.
    void SetVerifyFailed(const std::vector<std::string>& controls);
    bool VerifyFailed(const std::string& control) const;
    QWidget* VerifyMarkOf(const std::string& control) const;
    static constexpr const char* kVerifyToolTip = "Verify failed: the tracker holds another value than was written";

    // The icon a tab with changes shows beside its unchanged caption.
    static QIcon TabIcon();
    static constexpr const char* kControlToolTip = "Changed since the last read or write";
    static constexpr const char* kTabToolTip = "Holds values changed since the last read or write";

signals:
    // A control's mark came or went (once per control; a whole refresh may send many).
    void MarksChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Watched {
        QWidget* widget = nullptr;
        int tab = -1;  // page index
        std::size_t order = 0;
        bool marked = false;
        QPointer<QWidget> mark;  // made the first time the control is marked
        bool failed = false;     // failed the check after the last write
        QPointer<QWidget> failMark;
    };

    void Watch(const std::string& name, QWidget& widget, int tab, std::size_t order);
    void SetMarked(Watched& w, bool marked);
    void Place(Watched& w);
    void Describe(Watched& w);
    void SetTabCount(int tab, int delta);

    WidgetForm& form_;
    QTabWidget& pages_;
    std::function<bool(const std::string&)> changed_;
    std::function<std::vector<std::string>()> all_;
    std::map<std::string, Watched, std::less<>> watched_;
    std::map<const QObject*, std::string> names_;  // widget -> control
    std::map<int, int> tabCounts_;                 // page index -> marked controls on it
};

}  // namespace quorvane
