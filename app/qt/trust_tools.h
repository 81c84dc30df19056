// The Tools menu's commands for trusting a write: compare the window with a file or
// the tracker, verify after writing, back up before writing, restore a backup, mark
// what changed since the last read or write, and find a control. The logic does the
// work (TForm1); this is the window's side of it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "trust/compare.h"
#include "app/find.h"
#include "app/qt/compare_dialog.h"
#include "app/qt/find_dialog.h"

class QAction;

namespace quorvane {

class ChangeMarks;
class Form;
class TForm1Window;

class TrustTools : public QObject {
    Q_OBJECT
public:
    // Adds the items to the window's Tools menu, reads the user's options and hands
    // them to the logic.
    explicit TrustTools(TForm1Window& window);
    ~TrustTools() override;

    // The user's options file keys.
    static constexpr const char* kVerifyKey = "Tools/VerifyAfterWrite";
    static constexpr const char* kBackupKey = "Tools/BackUpBeforeWriting";
    static constexpr const char* kBackupFolderKey = "Tools/BackupFolder";

    // "backups" in the user's data folder, unless the options name another folder.
    QString BackupFolder() const;
    static QString DefaultBackupFolder();

    // The commands, as the menu runs them once a file is chosen. A file that cannot be
    // read goes to the error box and opens no dialog (null).
    CompareDialog* CompareWithFile(const QString& path);
    void CompareWithTracker();
    void RestoreBackup(const QString& path);
    void OpenBackupFolder();
    FindDialog& ShowFind();
    // Shows a control: its tab, the Event rows scrolled to it, the focus on it. False
    // when it is hidden or disabled (the tab is shown all the same).
    bool GoTo(const std::string& control);

    // While the logic reads the tracker beside the window (a backup, a verification, a
    // compare), the buttons that talk to the tracker are disabled: the logic refuses
    // them then. Runs on the window's 10 ms tick; cheap when nothing changed.
    void FollowSideRead();

    ChangeMarks& Marks() const { return *marks_; }
    // The compare or verify dialog open now, if any.
    CompareDialog* OpenDialog() const { return dialog_.data(); }

private:
    void BuildMenu();
    void ApplyOptions();
    void ShowComparison(const Comparison& comparison, std::shared_ptr<const Form> other, const QString& title,
                        const QString& otherHeading, const QString& note);
    void ShowVerifyFailed(const Comparison& result);
    // An open Find window over the control it just showed moves out of its way.
    void MoveFindAside(const QWidget& shown);

    TForm1Window& window_;
    std::unique_ptr<ChangeMarks> marks_;
    QPointer<CompareDialog> dialog_;
    QPointer<FindDialog> find_;
    QAction* compareFile_ = nullptr;
    QAction* compareTracker_ = nullptr;
    QAction* verify_ = nullptr;
    QAction* backup_ = nullptr;
    bool sideRead_ = false;
    bool findPending_ = false;  // the Find list is due to be listed anew
    std::vector<std::string> heldButtons_;  // disabled for the side read, to enable after it
};

}  // namespace quorvane
