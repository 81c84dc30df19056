#include "app/qt/trust_tools.h"

#include <algorithm>

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "app/form1.h"
#include "trust/write_safety.h"
#include "model/memory_form.h"
#include "app/qt/change_marks.h"
#include "app/qt/compare_dialog.h"
#include "app/qt/find_dialog.h"
#include "app/qt/latin1.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/widget_form.h"
#include "model/window_model.h"

namespace quorvane {

namespace {

// Paths travel to the core as the file system's own bytes.
std::string PathBytes(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

constexpr std::size_t kBackupsKept = 20;

}  // namespace

TrustTools::TrustTools(TForm1Window& window) : window_(window) {
    TForm1& logic = window_.Logic();
    marks_ = std::make_unique<ChangeMarks>(
        window_.Controls(), window_.PageControl(),
        [this, &logic](const std::string& control) {
            return logic.Safety().Changes().Changed(window_.Controls(), control);
        },
        [&logic] { return logic.Safety().ChangedControls(); });
    window_.Dialogs().SetWriteSafetyHooks({
        [this](const Comparison& result) { ShowVerifyFailed(result); },
        [this](std::string_view path) {
            QLabel& panel = window_.Dialogs().Panel(2);
            panel.setText(QStringLiteral("Backed up"));
            panel.setToolTip(QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size()))));
        },
        [this] { marks_->Refresh(); },
    });
    // An open Find list follows the marks, once for a whole burst of them.
    connect(marks_.get(), &ChangeMarks::MarksChanged, this, [this] {
        if (findPending_ || find_ == nullptr || !find_->isVisible()) return;
        findPending_ = true;
        QTimer::singleShot(0, this, [this] {
            findPending_ = false;
            if (find_ != nullptr && find_->isVisible()) find_->Search();
        });
    });
    BuildMenu();
    ApplyOptions();
    connect(&window_.Timer1(), &QTimer::timeout, this, [this] { FollowSideRead(); });
}

TrustTools::~TrustTools() {
    window_.Dialogs().SetWriteSafetyHooks({});
    delete dialog_.data();
    delete find_.data();
}

QString TrustTools::DefaultBackupFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("backups"));
}

QString TrustTools::BackupFolder() const {
    return window_.Options().Text(QString::fromLatin1(kBackupFolderKey), DefaultBackupFolder());
}

void TrustTools::BuildMenu() {
    QMenu* tools = window_.ToolsMenu();
    auto item = [tools](const char* name, const QString& caption) {
        QAction* action = tools->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    if (!tools->actions().isEmpty()) tools->addSeparator();
    compareFile_ = item("CompareWithFile1", QStringLiteral("Compare with &File..."));
    connect(compareFile_, &QAction::triggered, this, [this] {
        std::optional<std::string> path;
        window_.Guard([&] { path = window_.Dialogs().ChooseOpenFile("*.ini|*.ini"); });
        if (path) CompareWithFile(QFile::decodeName(QByteArray(path->data(), static_cast<qsizetype>(path->size()))));
    });
    compareTracker_ = item("CompareWithTracker1", QStringLiteral("&Compare with Tracker"));
    connect(compareTracker_, &QAction::triggered, this, [this] { CompareWithTracker(); });
    tools->addSeparator();

    verify_ = item("VerifyAfterWrite1", QStringLiteral("&Verify After Write"));
    verify_->setCheckable(true);
    verify_->setChecked(window_.Options().Flag(QString::fromLatin1(kVerifyKey), false));
    connect(verify_, &QAction::toggled, this, [this](bool on) {
        window_.Options().SetFlag(QString::fromLatin1(kVerifyKey), on);
        ApplyOptions();
    });
    backup_ = item("BackUpBeforeWriting1", QStringLiteral("&Back Up Before Writing"));
    backup_->setCheckable(true);
    backup_->setChecked(window_.Options().Flag(QString::fromLatin1(kBackupKey), false));
    connect(backup_, &QAction::toggled, this, [this](bool on) {
        window_.Options().SetFlag(QString::fromLatin1(kBackupKey), on);
        ApplyOptions();
    });
    QAction* openFolder = item("OpenBackupFolder1", QStringLiteral("&Open Backup Folder"));
    connect(openFolder, &QAction::triggered, this, [this] { OpenBackupFolder(); });
    QAction* restore = item("RestoreBackup1", QStringLiteral("Restor&e Backup..."));
    connect(restore, &QAction::triggered, this, [this] {
        QDir().mkpath(BackupFolder());
        // The connected tracker's own backups first, when it has any.
        QString start = BackupFolder();
        const std::string imei = window_.Controls().Text("IMEI");
        if (!imei.empty()) {
            const std::filesystem::path own = BackupFolderFor(PathBytes(BackupFolder()), imei);
            const QString ownFolder = QFile::decodeName(QByteArray::fromStdString(own.string()));
            if (QDir(ownFolder).exists()) start = ownFolder;
        }
        const QString path = QFileDialog::getOpenFileName(&window_, QStringLiteral("Restore Backup"), start,
                                                          QStringLiteral("Settings files (*.ini);;All files (*)"));
        if (!path.isEmpty()) RestoreBackup(path);
    });
    tools->addSeparator();

    QAction* find = item("Find1", QStringLiteral("F&ind"));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    find->setShortcutContext(Qt::WindowShortcut);
    // The shortcut works in the window while the menu bar is closed.
    window_.addAction(find);
    connect(find, &QAction::triggered, this, [this] { ShowFind(); });
}

void TrustTools::ApplyOptions() {
    WriteSafetyOptions options = window_.Logic().Safety().Options();
    options.verifyAfterWrite = verify_->isChecked();
    options.backUpBeforeWriting = backup_->isChecked();
    options.backupFolder = PathBytes(BackupFolder());
    options.keepBackups = kBackupsKept;
    window_.Logic().Safety().SetOptions(std::move(options));
}

void TrustTools::FollowSideRead() {
    const bool active = window_.Logic().Safety().SideReadActive();
    if (active == sideRead_) return;
    sideRead_ = active;
    WidgetForm& form = window_.Controls();
    compareTracker_->setEnabled(!active);
    if (active) {
        heldButtons_.clear();
        for (const std::string& name : LinkButtons()) {
            if (!form.Enabled(name)) continue;
            form.SetEnabled(name, false);
            heldButtons_.push_back(name);
        }
        return;
    }
    // A port closed meanwhile keeps them disabled, as closing it does.
    if (window_.Logic().PortOpen())
        for (const std::string& name : heldButtons_) form.SetEnabled(name, true);
    heldButtons_.clear();
}

CompareDialog* TrustTools::CompareWithFile(const QString& path) {
    const std::string bytes = PathBytes(path);
    std::shared_ptr<MemoryForm> file;
    window_.Guard([&] { file = ReadSettingsFileForm(bytes); });
    if (!file) return nullptr;
    // A backup keeps every stored control; another settings file only those it has keys for.
    const Comparison comparison = CompareForms(window_.Controls(), *file, FileScope(bytes));
    ShowComparison(comparison, std::move(file), QStringLiteral("Compare with File - %1").arg(QFileInfo(path).fileName()),
                   QStringLiteral("File"), QString());
    return dialog_.data();
}

void TrustTools::CompareWithTracker() {
    window_.Guard([this] {
        TForm1& logic = window_.Logic();
        QtUi& ui = window_.Dialogs();
        const bool started = logic.Safety().CompareWithTracker([this](const WriteSafety::TrackerComparison& result) {
            // "Compare OK" only when nothing differs; otherwise how many do.
            const std::size_t differ = result.comparison.differences.size();
            std::string text = "Compare Error";
            if (result.ok && differ == 0) text = "Compare OK";
            if (result.ok && differ > 0)
                text = "Compare: " + std::to_string(differ) + (differ == 1 ? " control differs" : " controls differ");
            window_.Dialogs().SetStatusText(1, text);
            if (!result.ok) return;
            // The dialog opens once the receive handler that ended the read has returned.
            QMetaObject::invokeMethod(
                this,
                [this, result] {
                    ShowComparison(result.comparison, result.tracker, QStringLiteral("&Compare with Tracker"),
                                   QStringLiteral("Tracker"),
                                   result.otherDevice ? ToQt(result.deviceNote) : QString());
                },
                Qt::QueuedConnection);
        });
        if (started) ui.SetStatusText(1, "Comparing...");
    });
}

void TrustTools::ShowComparison(const Comparison& comparison, std::shared_ptr<const Form> other, const QString& title,
                                const QString& otherHeading, const QString& note) {
    CompareView view;
    view.title = title;
    view.otherHeading = otherHeading;
    view.note = note;
    auto take = [this, other = std::move(other)](const std::vector<std::string>& controls) {
        bool taken = false;
        window_.Guard([&] {
            window_.Logic().Safety().TakeIntoWindow(*other, controls);
            taken = true;
        });
        if (taken)
            window_.Dialogs().SetStatusText(1, "Taken into window: " + std::to_string(controls.size()) +
                                                   (controls.size() == 1 ? " control" : " controls"));
    };
    auto* dialog = new CompareDialog(comparison, view, std::move(take), &window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog_ = dialog;
    dialog->open();
}

void TrustTools::ShowVerifyFailed(const Comparison& result) {
    // The controls that differ are marked where they are, then the user is warned,
    // then the list shows sent and read values side by side.
    std::vector<std::string> failed;
    for (const ControlDifference& d : result.differences)
        if (FindControl(d.control) != nullptr) failed.push_back(d.control);
    marks_->SetVerifyFailed(failed);
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Verify"),
                        ToQt(WriteSafetyUi::VerifyFailedText(result.differences.size())), QMessageBox::Ok, &window_);
        box.setObjectName(QStringLiteral("VerifyWarning"));
        box.setInformativeText(
            QStringLiteral("The tracker holds other values than were written. The controls concerned are marked in "
                           "the window; the list follows."));
        box.exec();
    }
    CompareView view;
    view.title = QStringLiteral("Verify");
    // A value changed on the way shows the window's value; every other row's sent value is the window's too.
    const bool changedOnTheWay = std::any_of(result.differences.begin(), result.differences.end(),
                                             [](const ControlDifference& d) { return d.sentValue.has_value(); });
    view.thisHeading = changedOnTheWay ? QStringLiteral("Window") : QStringLiteral("Sent");
    view.otherHeading = QStringLiteral("Read");
    view.summary = ToQt(WriteSafetyUi::VerifyFailedText(result.differences.size()));
    view.selectable = false;
    auto* dialog = new CompareDialog(result, view, nullptr, &window_);
    dialog->setObjectName(QStringLiteral("VerifyDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog_ = dialog;
    dialog->open();
}

void TrustTools::RestoreBackup(const QString& path) {
    bool restored = false;
    window_.Guard([&] { restored = window_.Logic().Safety().LoadBackup(PathBytes(path)); });
    if (restored) window_.Dialogs().SetStatusText(1, FromQt(QStringLiteral("Backup restored: %1").arg(QFileInfo(path).fileName())));
}

void TrustTools::OpenBackupFolder() {
    const QString folder = BackupFolder();
    if (!QDir().mkpath(folder)) {
        window_.Dialogs().ShowError(FromQt(QStringLiteral("Cannot create the backup folder %1").arg(folder)));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        window_.Dialogs().ShowError(FromQt(QStringLiteral("Cannot open the backup folder %1").arg(folder)));
}

FindDialog& TrustTools::ShowFind() {
    if (find_ == nullptr) {
        find_ = new FindDialog([this] { return marks_->MarkedControls(); },
                               [this](const FindMatch& m) { return GoTo(m.control); }, ChangeMarks::TabIcon(),
                               &window_);
    }
    find_->Search();
    find_->show();
    find_->raise();
    find_->activateWindow();
    find_->Query().setFocus();
    find_->Query().selectAll();
    return *find_;
}

void TrustTools::MoveFindAside(const QWidget& shown) {
    if (find_ == nullptr || !find_->isVisible() || shown.isHidden()) return;
    const QRect target(shown.mapToGlobal(QPoint(0, 0)), shown.size());
    const QRect box = find_->frameGeometry();
    if (!box.intersects(target.adjusted(-8, -8, 8, 8))) return;
    // Beside the main window where the screen has room, else beside the control.
    const QRect main = window_.frameGeometry();
    const QScreen* screen = window_.screen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : main.united(box);
    QPoint to;
    if (main.right() + box.width() <= area.right())
        to = QPoint(main.right() + 1, box.top());
    else if (main.left() - box.width() >= area.left())
        to = QPoint(main.left() - box.width(), box.top());
    else if (target.bottom() + box.height() <= area.bottom())
        to = QPoint(box.left(), target.bottom() + 16);
    else
        to = QPoint(box.left(), std::max(area.top(), target.top() - box.height() - 16));
    find_->move(to);
}

bool TrustTools::GoTo(const std::string& control) {
    const ControlDef* def = FindControl(control);
    if (def == nullptr || def->tab.empty()) return false;
    WidgetForm& form = window_.Controls();
    QWidget& widget = form.Widget(control);
    window_.PageControl().setCurrentWidget(&form.Widget(def->tab));
    // A tab shown for the first time lays itself out before its rows can scroll.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (QWidget* p = widget.parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(p)) area->ensureWidgetVisible(&widget);
    }
    window_.raise();
    window_.activateWindow();
    MoveFindAside(widget);
    if (widget.isHidden() || !widget.isEnabled()) return false;
    widget.setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(&widget)) edit->selectAll();
    return true;
}

}  // namespace quorvane
