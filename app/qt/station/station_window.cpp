#include "app/qt/station/station_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "app/form1.h"
#include "app/port_loss.h"
#include "app/qt/main_window.h"
#include "app/qt/widget_form.h"
#include "link/groups.h"
#include "serial/comm.h"
#include "settings/settings_file.h"
#include "station/trace_file.h"

namespace quorvane {
namespace {

constexpr std::size_t kLogLines = 2000;               // per port
constexpr qint64 kTrafficShown = qint64{256} * 1024;         // bytes of a traffic file shown
constexpr int kPortPollMs = 1000;

std::string Local(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QString Latin(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// The last `limit` bytes of a file, from a line start; empty when it cannot be read.
QString FileTail(const QString& path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const qint64 size = file.size();
    if (size > limit) file.seek(size - limit);
    QByteArray bytes = file.readAll();
    if (size > limit) bytes = bytes.mid(bytes.indexOf('\n') + 1);
    return QString::fromLatin1(bytes);
}

// A line with a path and a button that picks one.
QWidget* PathRow(QWidget* parent, QLineEdit*& edit, const char* name, bool folder) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit = new QLineEdit(row);
    edit->setObjectName(QString::fromLatin1(name));
    auto* pick = new QPushButton(QStringLiteral("..."), row);
    pick->setObjectName(QString::fromLatin1(name) + QStringLiteral("Pick"));
    pick->setFixedWidth(32);
    QLineEdit* target = edit;
    QObject::connect(pick, &QPushButton::clicked, row, [row, target, folder] {
        const QString chosen = folder ? QFileDialog::getExistingDirectory(row, QString(), target->text())
                                      : QFileDialog::getOpenFileName(row, QString(), target->text());
        if (!chosen.isEmpty()) target->setText(chosen);
    });
    layout->addWidget(edit);
    layout->addWidget(pick);
    return row;
}

// The progress column: a bar drawn from the cell's value and maximum, so 32 rows
// cost no widget each.
class ProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = std::max(1, index.data(kMaximumRole).toInt());
        bar.progress = index.data(kValueRole).toInt();
        bar.text = index.data(Qt::DisplayRole).toString();
        bar.textVisible = true;
        bar.textAlignment = Qt::AlignCenter;
        bar.state = option.state | QStyle::State_Horizontal;
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
    }
    static constexpr int kValueRole = Qt::UserRole;
    static constexpr int kMaximumRole = Qt::UserRole + 1;
};

}  // namespace

StationWindow::StationWindow(TForm1Window& main) : QWidget(&main, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("StationWindow"));
    setWindowTitle(QStringLiteral("Station"));
    BuildControls();
    ShowProfile(StationProfile::Load(main_.Options()));
    portTimer_.setInterval(kPortPollMs);
    connect(&portTimer_, &QTimer::timeout, this, [this] { RefreshPorts(); });
    portTimer_.start();
    resize(1000, 700);
}

StationWindow::~StationWindow() {
    portTimer_.stop();
    runner_.reset();  // ends what runs, each run with its record
}

void StationWindow::BuildControls() {
    auto* top = new QVBoxLayout(this);

    auto* profile = new QGroupBox(QStringLiteral("Profile"), this);
    profileBox_ = profile;
    auto* form = new QFormLayout(profile);
    name_ = new QLineEdit(profile);
    name_->setObjectName(QStringLiteral("StationProfileName"));
    form->addRow(QStringLiteral("Name"), name_);

    values_ = new QComboBox(profile);
    values_->setObjectName(QStringLiteral("StationValues"));
    values_->addItems({QStringLiteral("The main window's values"), QStringLiteral("A settings file or backup")});
    form->addRow(QStringLiteral("Values to write"), values_);
    form->addRow(QStringLiteral("Settings file"), PathRow(profile, valuesFile_, "StationValuesFile", false));
    form->addRow(QStringLiteral("Per-tracker values (CSV)"), PathRow(profile, perTracker_, "StationPerTracker", false));

    command_ = new QComboBox(profile);
    command_->setObjectName(QStringLiteral("StationCommand"));
    command_->addItem(QStringLiteral("Write All"), QStringLiteral("write-all"));
    command_->addItem(QStringLiteral("Read All (one settings file per tracker)"), QStringLiteral("read-all"));
    for (const Group& g : Groups()) {
        command_->addItem(QStringLiteral("Write ") + QString::fromLatin1(g.title), QString::fromLatin1(g.name));
    }
    form->addRow(QStringLiteral("Command"), command_);
    form->addRow(QStringLiteral("Read into folder"), PathRow(profile, readFolder_, "StationReadFolder", true));

    auto* options = new QWidget(profile);
    auto* optionsRow = new QHBoxLayout(options);
    optionsRow->setContentsMargins(0, 0, 0, 0);
    verify_ = new QCheckBox(QStringLiteral("Verify"), options);
    verify_->setObjectName(QStringLiteral("StationVerify"));
    backup_ = new QCheckBox(QStringLiteral("Back up first"), options);
    backup_->setObjectName(QStringLiteral("StationBackup"));
    repeat_ = new QCheckBox(QStringLiteral("Repeat (serve each tracker plugged in until stopped)"), options);
    repeat_->setObjectName(QStringLiteral("StationRepeat"));
    retry_ = new QSpinBox(options);
    retry_->setObjectName(QStringLiteral("StationRetry"));
    retry_->setRange(0, 9);
    optionsRow->addWidget(verify_);
    optionsRow->addWidget(backup_);
    optionsRow->addWidget(new QLabel(QStringLiteral("Retry"), options));
    optionsRow->addWidget(retry_);
    optionsRow->addWidget(repeat_);
    optionsRow->addStretch();
    form->addRow(QStringLiteral("Options"), options);
    form->addRow(QStringLiteral("Backup folder"), PathRow(profile, backupFolder_, "StationBackupFolder", true));

    auto* recordRow = new QWidget(profile);
    auto* recordLayout = new QHBoxLayout(recordRow);
    recordLayout->setContentsMargins(0, 0, 0, 0);
    record_ = new QCheckBox(QStringLiteral("Record"), recordRow);
    record_->setObjectName(QStringLiteral("StationRecord"));
    recordLayout->addWidget(record_);
    recordLayout->addWidget(PathRow(recordRow, recordFile_, "StationRecordFile", false), 1);
    openRecord_ = new QPushButton(QStringLiteral("Open record"), recordRow);
    openRecord_->setObjectName(QStringLiteral("StationOpenRecord"));
    connect(openRecord_, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(recordFile_->text())); });
    recordLayout->addWidget(openRecord_);
    form->addRow(QStringLiteral("Record (JSON lines)"), recordRow);

    auto* portsBox = new QGroupBox(QStringLiteral("Ports"), this);
    auto* portsLayout = new QVBoxLayout(portsBox);
    allPorts_ = new QCheckBox(QStringLiteral("All listed ports"), portsBox);
    allPorts_->setObjectName(QStringLiteral("StationAllPorts"));
    ports_ = new QListWidget(portsBox);
    ports_->setObjectName(QStringLiteral("StationPorts"));
    portsLayout->addWidget(allPorts_);
    portsLayout->addWidget(ports_);
    connect(allPorts_, &QCheckBox::toggled, this, [this](bool all) { ports_->setEnabled(!all); });

    auto* upper = new QHBoxLayout;
    upper->addWidget(profile, 3);
    upper->addWidget(portsBox, 1);
    top->addLayout(upper);

    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("Start"), this);
    start_->setObjectName(QStringLiteral("StationStart"));
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setObjectName(QStringLiteral("StationStop"));
    stop_->setEnabled(false);
    // A line edit's size does not follow its text: new totals cost no layout.
    totals_ = new QLineEdit(this);
    totals_->setObjectName(QStringLiteral("StationTotals"));
    totals_->setReadOnly(true);
    totals_->setFrame(false);
    totals_->setFocusPolicy(Qt::NoFocus);
    totals_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addWidget(totals_, 1);
    top->addLayout(buttons);
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });

    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("StationError"));
    error_->setWordWrap(true);
    error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    error_->setStyleSheet(QStringLiteral("QLabel { color: #a00000; font-weight: bold; }"));
    error_->hide();
    top->addWidget(error_);

    auto* split = new QSplitter(Qt::Vertical, this);
    table_ = new QTableWidget(0, ColumnCount, split);
    table_->setObjectName(QStringLiteral("StationRows"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Port"), QStringLiteral("Adapter"), QStringLiteral("State"),
                                       QStringLiteral("Progress"), QStringLiteral("IMEI"),
                                       QStringLiteral("Serial number"), QStringLiteral("Firmware"),
                                       QStringLiteral("Result"), QStringLiteral("Time"), QStringLiteral("Attempts")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->setItemDelegateForColumn(ColProgress, new ProgressDelegate(table_));
    table_->horizontalHeader()->setSectionResizeMode(ColResult, QHeaderView::Stretch);
    // Wide enough for a whole IMEI, serial number and firmware name.
    const QFontMetrics metrics(table_->font());
    for (const Column c : {ColImei, ColSn, ColFirmware}) {
        table_->setColumnWidth(c, metrics.horizontalAdvance(QStringLiteral("8600000000000000")) + 24);
    }
    table_->setColumnWidth(ColState, metrics.horizontalAdvance(QStringLiteral("waiting for the device")) + 32);
    table_->setColumnWidth(ColProgress, 90);
    table_->setColumnWidth(ColTime, metrics.horizontalAdvance(QStringLiteral("Time 000.00 s")));
    table_->setColumnWidth(ColAttempts, metrics.horizontalAdvance(QStringLiteral("Attempts ")) + 8);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { ShowSelected(); });

    auto* logPane = new QWidget(split);
    auto* logLayout = new QVBoxLayout(logPane);
    logLayout->setContentsMargins(0, 0, 0, 0);
    traffic_ = new QPushButton(QStringLiteral("Show traffic"), logPane);
    traffic_->setObjectName(QStringLiteral("StationTraffic"));
    traffic_->setCheckable(true);
    connect(traffic_, &QPushButton::toggled, this, [this](bool on) { ShowTraffic(on); });
    log_ = new QPlainTextEdit(logPane);
    log_->setObjectName(QStringLiteral("StationLog"));
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(static_cast<int>(kLogLines));
    log_->setFont(QFont(QStringLiteral("monospace")));
    logLayout->addWidget(traffic_, 0, Qt::AlignLeft);
    logLayout->addWidget(log_);
    split->addWidget(table_);
    split->addWidget(logPane);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    top->addWidget(split, 1);
}

void StationWindow::ShowProfile(const StationProfile& p) {
    name_->setText(p.name);
    values_->setCurrentIndex(p.values == StationProfile::Values::File ? 1 : 0);
    valuesFile_->setText(p.valuesFile);
    perTracker_->setText(p.perTracker);
    int command = 0;
    if (p.command == StationProfile::Command::ReadAll) command = 1;
    if (p.command == StationProfile::Command::WriteGroup) command = std::max(0, command_->findData(p.group));
    command_->setCurrentIndex(command);
    readFolder_->setText(p.readFolder);
    verify_->setChecked(p.verify);
    backup_->setChecked(p.backup);
    backupFolder_->setText(p.backupFolder);
    retry_->setValue(p.retry);
    repeat_->setChecked(p.repeat);
    record_->setChecked(p.record);
    recordFile_->setText(p.recordFile);
    allPorts_->setChecked(p.allPorts);
    ports_->setEnabled(!p.allPorts);
    for (int i = 0; i < ports_->count(); ++i) {
        QListWidgetItem* item = ports_->item(i);
        item->setCheckState(p.ticked.contains(item->data(Qt::UserRole).toString()) ? Qt::Checked : Qt::Unchecked);
    }
}

StationProfile StationWindow::ProfileFromControls() const {
    StationProfile p;
    p.name = name_->text();
    p.values = values_->currentIndex() == 1 ? StationProfile::Values::File : StationProfile::Values::Window;
    p.valuesFile = valuesFile_->text();
    p.perTracker = perTracker_->text();
    const QString command = command_->currentData().toString();
    if (command == QLatin1String("write-all")) {
        p.command = StationProfile::Command::WriteAll;
    } else if (command == QLatin1String("read-all")) {
        p.command = StationProfile::Command::ReadAll;
    } else {
        p.command = StationProfile::Command::WriteGroup;
        p.group = command;
    }
    p.readFolder = readFolder_->text();
    p.verify = verify_->isChecked();
    p.backup = backup_->isChecked();
    p.backupFolder = backupFolder_->text();
    p.retry = retry_->value();
    p.repeat = repeat_->isChecked();
    p.record = record_->isChecked();
    p.recordFile = recordFile_->text();
    p.allPorts = allPorts_->isChecked();
    for (int i = 0; i < ports_->count(); ++i) {
        const QListWidgetItem* item = ports_->item(i);
        if (item->checkState() == Qt::Checked) p.ticked << item->data(Qt::UserRole).toString();
    }
    return p;
}

void StationWindow::SetPortSource(std::shared_ptr<PortSource> source) {
    source_ = std::move(source);
    RefreshPorts();
}

std::vector<PortInfo> StationWindow::ListedPorts() const {
    std::vector<PortInfo> ports = source_ ? source_->List() : main_.Logic().Watch().Ports().List();
    // The main window's own port is never the station's.
    if (main_.Logic().PortOpen()) {
        const std::string& own = main_.Logic().Comm1().CommName();
        std::erase_if(ports, [&own](const PortInfo& p) { return p.name == own; });
    }
    return ports;
}

void StationWindow::RefreshPorts() {
    std::vector<PortInfo> listed = ListedPorts();
    if (listed != listed_) {
        QStringList ticked;
        for (int i = 0; i < ports_->count(); ++i) {
            if (ports_->item(i)->checkState() == Qt::Checked) ticked << ports_->item(i)->data(Qt::UserRole).toString();
        }
        if (ports_->count() == 0) ticked = StationProfile::Load(main_.Options()).ticked;
        ports_->clear();
        for (const PortInfo& p : listed) {
            auto* item = new QListWidgetItem(Latin(p.DisplayText()), ports_);
            item->setData(Qt::UserRole, Latin(p.name));
            item->setCheckState(ticked.contains(Latin(p.name)) ? Qt::Checked : Qt::Unchecked);
        }
        listed_ = std::move(listed);
    }
    if (!Running()) return;
    // Adapters plugged in while the station runs on all ports are served too.
    if (allPorts_->isChecked() && runner_->StopRequests() == 0) {
        for (const PortInfo& p : listed_) {
            if (rows_.count(p.name) != 0) continue;
            RowOf(p.name);
            runner_->AddPort(p.name);
        }
    }
    if (showTraffic_) ShowSelected();
    UpdateTotals();
}

void StationWindow::ShowError(const QString& text) {
    error_->setText(text.trimmed());
    error_->setVisible(!text.trimmed().isEmpty());
}

void StationWindow::Start() {
    if (runner_ && runner_->Running()) return;
    runner_.reset();
    ShowError({});
    const StationProfile profile = ProfileFromControls();
    profile.Save(main_.Options());

    std::vector<std::string> ports;
    for (const PortInfo& p : ListedPorts()) {
        if (profile.allPorts || profile.ticked.contains(Latin(p.name))) ports.push_back(p.name);
    }
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(QFileInfo(StationProfile::TrafficBase()).absolutePath());
    if (profile.record && profile.recordFile == StationProfile::DefaultRecordFile()) QDir().mkpath(dataDir);
    if (profile.command == StationProfile::Command::ReadAll) {
        if (profile.readFolder.isEmpty() || !QDir().mkpath(profile.readFolder)) {
            ShowError(QStringLiteral("error: choose a folder the settings files read can be saved in"));
            return;
        }
    }
    if (profile.values == StationProfile::Values::File && profile.valuesFile.isEmpty() &&
        profile.command != StationProfile::Command::ReadAll) {
        ShowError(QStringLiteral("error: choose the settings file or backup to write"));
        return;
    }
    std::optional<std::string> windowValues;
    if (profile.values == StationProfile::Values::Window && profile.command != StationProfile::Command::ReadAll) {
        // The main window's values as they are now, for every tracker of this run.
        QDir().mkpath(dataDir);
        windowValues = Local(QDir(dataDir).filePath(QStringLiteral("station-window-values.ini")));
        try {
            SaveSettingsFile(main_.Controls(), *windowValues);
        } catch (const std::exception& e) {
            ShowError(QStringLiteral("error: ") + Latin(e.what()));
            return;
        }
    }
    StationJob job = JobOf(profile, ports, windowValues, main_.Controls().Text("AuthCode"));
    const QString programDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    auto runner = std::make_unique<StationRunner>(std::move(job), Local(programDir), *this);
    std::string error;
    if (!runner->Start(error)) {
        ShowError(Latin(error));
        return;
    }
    runner_ = std::move(runner);
    rows_.clear();
    table_->setRowCount(0);
    log_->clear();
    served_ = completed_ = failed_ = 0;
    runClock_.start();
    for (const std::string& port : ports) RowOf(port);
    SetRunning(true);
    UpdateTotals();
}

void StationWindow::Stop() {
    if (!Running()) return;
    runner_->Stop();
    stop_->setText(QStringLiteral("Stop now"));
    UpdateTotals();
}

bool StationWindow::ConfirmStop() {
    if (!Running()) return true;
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Station"),
        QStringLiteral("The station is serving trackers. Stop it now? Operations in flight end at once and "
                       "are recorded as interrupted."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    EndNow();
    return true;
}

void StationWindow::EndNow() {
    if (!runner_) return;
    runner_->StopNowAndWait();
    // Deliver what the station told before it ended.
    QCoreApplication::sendPostedEvents();
    SetRunning(false);
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (!ConfirmStop()) {
        event->ignore();
        return;
    }
    event->accept();
}

void StationWindow::SetRunning(bool running) {
    start_->setEnabled(!running);
    stop_->setEnabled(running);
    stop_->setText(QStringLiteral("Stop"));
    profileBox_->setEnabled(!running);
    allPorts_->setEnabled(!running);
    ports_->setEnabled(!running && !allPorts_->isChecked());
}

StationWindow::Row& StationWindow::RowOf(const std::string& port) {
    auto found = rows_.find(port);
    if (found != rows_.end()) return found->second;
    Row& row = rows_[port];
    row.index = table_->rowCount();
    table_->insertRow(row.index);
    for (int c = 0; c < ColumnCount; ++c) table_->setItem(row.index, c, new QTableWidgetItem);
    SetCell(row, ColPort, Latin(port));
    const auto listed = std::find_if(listed_.begin(), listed_.end(), [&port](const PortInfo& p) { return p.name == port; });
    if (listed != listed_.end()) SetCell(row, ColAdapter, Latin(listed->Description()));
    SetCell(row, ColState, QStringLiteral("looking"));
    SetBar(row, 0, 8);
    return row;
}

void StationWindow::SetCell(const Row& row, Column column, const QString& text) {
    QTableWidgetItem* item = table_->item(row.index, column);
    if (item != nullptr && item->text() != text) item->setText(text);
}

QString StationWindow::RowText(const std::string& port, Column column) const {
    const auto found = rows_.find(port);
    if (found == rows_.end()) return {};
    const QTableWidgetItem* item = table_->item(found->second.index, column);
    return item != nullptr ? item->text() : QString();
}

void StationWindow::SetBar(Row& row, int value, int maximum) {
    if (row.barValue == value && row.barMaximum == maximum) return;
    row.barValue = value;
    row.barMaximum = maximum;
    QTableWidgetItem* item = table_->item(row.index, ColProgress);
    item->setData(ProgressDelegate::kValueRole, value);
    item->setData(ProgressDelegate::kMaximumRole, maximum);
    item->setText(QStringLiteral("%1 of %2").arg(value).arg(maximum));
}

void StationWindow::ShowState(Row& row) {
    QString text = QString::fromLatin1(PortStateName(row.state));
    if ((row.state == PortState::Writing || row.state == PortState::Reading) && row.total > 0) {
        text += QStringLiteral(" %1 of %2").arg(row.done).arg(row.total);
    }
    const bool failed = row.state == PortState::Failed;
    const bool done = row.state == PortState::Done;
    // Failed rows differ in words, weight and icon, not in colour alone.
    if (failed) text = QStringLiteral("FAILED");
    SetCell(row, ColState, text);
    const int look = failed ? 2 : done ? 1 : 0;
    if (look == row.look) return;
    row.look = look;
    QTableWidgetItem* state = table_->item(row.index, ColState);
    if (failed) {
        state->setIcon(style()->standardIcon(QStyle::SP_MessageBoxCritical));
    } else if (done) {
        state->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    } else {
        state->setIcon(QIcon());
    }
    const QBrush background = failed ? QBrush(QColor(255, 215, 215)) : done ? QBrush(QColor(215, 245, 215)) : QBrush();
    for (int c = 0; c < ColumnCount; ++c) {
        QTableWidgetItem* item = table_->item(row.index, c);
        QFont font = item->font();
        font.setBold(failed);
        item->setFont(font);
        item->setBackground(background);
    }
}

void StationWindow::OnPortEvent(const PortEvent& e) {
    Row& row = RowOf(e.port);
    switch (e.kind) {
        case PortEvent::Kind::State:
            // A done or failed row says so until the next tracker is served there.
            if (row.ended && (e.state == PortState::Waiting)) return;
            if (row.ended && e.state != PortState::Done && e.state != PortState::Failed) {
                row.ended = false;
                row.done = row.total = 0;
                SetBar(row, 0, row.barMaximum);
                for (Column c : {ColImei, ColSn, ColFirmware, ColResult, ColTime}) SetCell(row, c, {});
                row.log.emplace_back(QStringLiteral("--- next tracker ---"));
            }
            if (e.state != row.state && (e.state == PortState::Writing || e.state == PortState::Reading)) {
                row.done = 0;
                row.total = 0;
            }
            row.state = e.state;
            if (e.state == PortState::Done) SetBar(row, row.barMaximum, row.barMaximum);
            break;
        case PortEvent::Kind::Progress:
            row.done = e.done;
            row.total = e.total;
            SetBar(row, e.done, std::max(1, e.total));
            break;
        case PortEvent::Kind::Ended:
            row.ended = true;
            row.state = e.state;
            ShowEnded(row, e.record);
            row.traffic = Latin(e.traffic);
            break;
    }
    if (!e.imei.empty()) SetCell(row, ColImei, Latin(e.imei));
    if (!e.sn.empty()) SetCell(row, ColSn, Latin(e.sn));
    if (!e.firmware.empty()) SetCell(row, ColFirmware, Latin(e.firmware));
    ShowState(row);
}

void StationWindow::ShowEnded(Row& row, const PortRecord& record) {
    const PortOutcome& o = record.last;
    const bool completed = o.result == PortResult::Completed;
    QString result = QString::fromLatin1(PortResultName(o.result));
    if (!o.message.empty() && o.message != PortResultName(o.result)) result += QStringLiteral(": ") + Latin(o.message);
    SetCell(row, ColResult, result);
    SetCell(row, ColTime, QStringLiteral("%1 s").arg(o.seconds, 0, 'f', 2));
    SetCell(row, ColAttempts, QString::number(record.attempts));
    if (completed) SetBar(row, row.barMaximum, row.barMaximum);
    ++served_;
    if (completed) {
        ++completed_;
    } else {
        ++failed_;
    }
    UpdateTotals();
}

void StationWindow::UpdateTotals() {
    const double hours = runClock_.isValid() ? static_cast<double>(runClock_.elapsed()) / 3.6e6 : 0.0;
    // A rate from less than a minute would mislead.
    const QString perHour = hours >= 1.0 / 60 ? QString::number(served_ / hours, 'f', 0) : QStringLiteral("-");
    QString text = QStringLiteral("Profile: %1    served %2, completed %3, failed %4, %5 per hour")
                       .arg(name_->text())
                       .arg(served_)
                       .arg(completed_)
                       .arg(failed_)
                       .arg(perHour);
    if (Running() && runner_->StopRequests() > 0) {
        text += QStringLiteral("    stopping: operations in flight finish or time out (Stop now ends them)");
    }
    totals_->setText(text);
}

void StationWindow::OnPortLine(const std::string& port, const std::string& line) {
    if (port.empty()) return;
    Row& row = RowOf(port);
    row.log.push_back(Latin(line));
    if (row.log.size() > kLogLines) row.log.pop_front();
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    if (!showTraffic_ && !selected.isEmpty() && selected.front()->row() == row.index) log_->appendPlainText(Latin(line));
}

void StationWindow::OnStationEnded(int exitStatus) {
    SetRunning(false);
    UpdateTotals();
    emit StationEnded(exitStatus);
}

QString StationWindow::TrafficOf(const std::string& port) const {
    if (!runner_ || !runner_->Job().trace) return {};
    const std::string path = TracePath(*runner_->Job().trace, port, runner_->SeveralPorts());
    return FileTail(QFile::decodeName(path.c_str()), kTrafficShown);
}

void StationWindow::SelectPort(const std::string& port) {
    const auto found = rows_.find(port);
    if (found != rows_.end()) table_->selectRow(found->second.index);
}

void StationWindow::ShowTraffic(bool on) {
    showTraffic_ = on;
    if (traffic_->isChecked() != on) traffic_->setChecked(on);
    traffic_->setText(on ? QStringLiteral("Show log") : QStringLiteral("Show traffic"));
    ShowSelected();
}

void StationWindow::ShowSelected() {
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    log_->clear();
    if (selected.isEmpty()) return;
    const int index = selected.front()->row();
    for (const auto& [port, row] : rows_) {
        if (row.index != index) continue;
        if (showTraffic_) {
            log_->setPlainText(row.ended ? row.traffic : TrafficOf(port));
        } else {
            QStringList lines;
            for (const QString& l : row.log) lines << l;
            log_->setPlainText(lines.join(QLatin1Char('\n')));
        }
        log_->moveCursor(QTextCursor::End);
        return;
    }
}

StationTools::StationTools(TForm1Window& main) : QObject(&main), main_(main) {
    QAction* action = main.ToolsMenu()->addAction(QStringLiteral("&Station..."));
    action->setObjectName(QStringLiteral("Station1"));
    connect(action, &QAction::triggered, this, [this] {
        StationWindow& w = Window();
        w.show();
        w.raise();
        w.activateWindow();
    });
    main.AddCloseCheck([this] { return window_ == nullptr || window_->ConfirmStop(); });
}

StationWindow& StationTools::Window() {
    if (window_ == nullptr) window_ = new StationWindow(main_);
    return *window_;
}

}  // namespace quorvane
