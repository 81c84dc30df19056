#include "app/qt/qt_ui.h"

#include "app/window_safety.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStatusBar>
#include <QStringList>
#include <QTabWidget>
#include <QUrl>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "app/qt/latin1.h"

namespace quorvane {

namespace {

// Paths travel as the file system's own bytes, not as Latin-1 text.
std::string PathToBytes(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString PathFromBytes(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace

QString ToQtFileFilter(std::string_view filter) {
    const QStringList parts = ToQt(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) p = p.trimmed();
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.join(QLatin1Char(' ')));
    }
    // A lone pattern without a description.
    if (filters.isEmpty() && !parts.isEmpty() && !parts[0].isEmpty())
        filters << QStringLiteral("%1 (%1)").arg(parts[0].trimmed());
    return filters.join(QStringLiteral(";;"));
}

QtUi::QtUi(QMainWindow& window, QScrollArea& eventBox) : window_(window), eventBox_(eventBox) {
    QStatusBar* bar = window.statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        label->setIndent(4);
        label->setMinimumWidth(kPanelWidths[i]);
        // The last panel takes what is left of the bar, the others keep their width.
        const bool last = i + 1 == panels_.size();
        if (!last) label->setFixedWidth(kPanelWidths[i]);
        bar->addPermanentWidget(label, last ? 1 : 0);
        panels_[i] = label;
    }
}

QLabel& QtUi::Panel(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(panels_.size()))
        throw std::out_of_range("status bar panel " + std::to_string(panel) + " does not exist");
    return *panels_[static_cast<std::size_t>(panel)];
}

void QtUi::SetStatusText(int panel, std::string_view text) { Panel(panel).setText(ToQt(text)); }

std::string QtUi::StatusText(int panel) const { return FromQt(Panel(panel).text()); }

void QtUi::Notice(std::string_view text) {
    // exec() runs a nested event loop: timer ticks and received data go on meanwhile.
    QMessageBox box(QMessageBox::Information, QStringLiteral("Notice"), ToQt(text), QMessageBox::Ok, &window_);
    box.exec();
}

bool QtUi::Confirm(std::string_view question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Notice"), ToQt(question),
                    QMessageBox::Yes | QMessageBox::No, &window_);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

namespace {

// A box at least as wide as its title needs, and never so narrow that a short
// message wraps into a column.
void WidenForTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) return;
    constexpr int kFrameAndButtons = 160;  // the title bar's own buttons and margins
    constexpr int kShortest = 360;
    const int title = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kFrameAndButtons;
    grid->addItem(new QSpacerItem(std::max(title, kShortest), 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

void QtUi::ShowError(std::string_view message) {
    // A message's first line is the error as the component words it; what follows
    // (why a port could not be opened) is shown beneath it as the box's detail.
    const std::size_t lineEnd = message.find('\n');
    QMessageBox box(QMessageBox::Critical, window_.windowTitle(), ToQt(message.substr(0, lineEnd)), QMessageBox::Ok,
                    &window_);
    if (lineEnd != std::string_view::npos) box.setInformativeText(ToQt(message.substr(lineEnd + 1)));
    WidenForTitle(box);
    box.exec();
}

void QtUi::ShowControlError(std::string_view message, const ControlPlace& place) {
    QMessageBox box(QMessageBox::Critical, window_.windowTitle(), ToQt(message), QMessageBox::Ok, &window_);
    box.setInformativeText(ToQt(place.tab) + QStringLiteral(" tab, ") + ToQt(place.label));
    WidenForTitle(box);
    box.exec();
    if (!place.visible) return;
    auto* widget = window_.findChild<QWidget*>(QString::fromLatin1(place.control.c_str()));
    if (widget == nullptr) return;
    for (QWidget* up = widget->parentWidget(); up != nullptr; up = up->parentWidget()) {
        auto* tabs = qobject_cast<QTabWidget*>(up);
        if (tabs == nullptr) continue;
        for (QWidget* page = widget; page != nullptr && page != tabs; page = page->parentWidget()) {
            if (tabs->indexOf(page) >= 0) {
                tabs->setCurrentWidget(page);
                break;
            }
        }
        break;
    }
    widget->setFocus(Qt::OtherFocusReason);
}

std::optional<std::string> QtUi::ChooseOpenFile(std::string_view filter) {
    // Settings files are looked for where the last one was opened or saved.
    const QString path = QFileDialog::getOpenFileName(&window_, QString(), settingsFolder_, ToQtFileFilter(filter));
    if (path.isEmpty()) return std::nullopt;
    settingsFolder_ = QFileInfo(path).absolutePath();
    return PathToBytes(path);
}

std::optional<std::string> QtUi::ChooseSaveFile(std::string_view presetPath, std::string_view filter) {
    // The name is taken as typed: no extension is added.
    const QString path =
        QFileDialog::getSaveFileName(&window_, QString(), PathFromBytes(presetPath), ToQtFileFilter(filter));
    lastSaveChoice_ = path;
    if (path.isEmpty()) return std::nullopt;
    settingsFolder_ = QFileInfo(path).absolutePath();
    return PathToBytes(path);
}

void QtUi::SetWindowCaption(std::string_view caption) { window_.setWindowTitle(ToQt(caption)); }

void QtUi::OpenUrl(std::string_view url) { QDesktopServices::openUrl(QUrl(ToQt(url))); }

void QtUi::CloseWindow() { window_.close(); }

void QtUi::ShowVerifyResult(const Comparison& result) {
    if (result.Same() || !hooks_.verifyFailed) {
        ShowVerifyInBoxes(*this, result);
        return;
    }
    hooks_.verifyFailed(result);
}

void QtUi::BackupSaved(std::string_view path) {
    if (hooks_.backupSaved) hooks_.backupSaved(path);
}

void QtUi::ChangesUpdated() {
    if (hooks_.changesUpdated) hooks_.changesUpdated();
}

void QtUi::ScrollEventBox(int lines) {
    QScrollBar* bar = eventBox_.verticalScrollBar();
    bar->setValue(bar->value() + lines * bar->singleStep());
}

}  // namespace quorvane
