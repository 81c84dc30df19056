#include "app/qt/traffic_panel.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>

#include "app/qt/latin1.h"
#include "link/engine.h"
#include "platform/system.h"

namespace quorvane {

// --- the model ------------------------------------------------------------------------

namespace {

// Bytes a table cell shows, and the bytes the table keeps of a row: laying out the
// whole hex text of a 4 KB answer at every repaint would cost more than the rest of
// the table, and the recorder holds the whole row already.
constexpr std::size_t kShownBytes = 48;

}  // namespace

TrafficModel::TrafficModel(TrafficRecorder& recorder, QObject* parent)
    : QAbstractTableModel(parent), recorder_(recorder) {}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const TrafficRow& r = Row(index.row());
    if (role == kDirectionRole) return ToQt(TrafficDirectionText(r.direction));
    if (role == Qt::TextAlignmentRole && (index.column() == ColTime || index.column() == ColLength))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
        case ColTime: return QString::number(r.Milliseconds(), 'f', 1);
        case ColDirection: return ToQt(TrafficDirectionText(r.direction));
        case ColCommand: return CommandText(r);
        case ColLength: return static_cast<qulonglong>(r.length);
        case ColSummary: return r.notSent ? ToQt(r.summary) + QStringLiteral(" (not sent)") : ToQt(r.summary);
        case ColBytes: {
            // A cell shows the start of a long frame; copy and save give every byte.
            const std::size_t shown = std::min(r.bytes.size(), kShownBytes);
            QString hex = ToQt(HexBytes(std::span<const std::uint8_t>(r.bytes.data(), shown)));
            if (shown < r.length) hex += QStringLiteral(" ...");
            return hex;
        }
        default: return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case ColTime: return QStringLiteral("Time (ms)");
        case ColDirection: return QStringLiteral("Dir");
        case ColCommand: return QStringLiteral("Command");
        case ColLength: return QStringLiteral("Length");
        case ColSummary: return QStringLiteral("Summary");
        case ColBytes: return QStringLiteral("Bytes");
        default: return {};
    }
}

QString TrafficModel::CommandText(const TrafficRow& row) {
    return row.command.empty() ? QStringLiteral("-") : ToQt(row.command);
}

std::size_t TrafficModel::Pull() {
    std::vector<TrafficRow> fresh;
    last_ = recorder_.ForEachAfter(last_, [&fresh](const TrafficRow& row) { fresh.push_back(row); });
    if (fresh.empty()) return 0;
    const std::size_t capacity = recorder_.Capacity();
    // More new rows than the table keeps: only the newest count.
    if (fresh.size() > capacity) fresh.erase(fresh.begin(), fresh.end() - static_cast<std::ptrdiff_t>(capacity));
    const std::size_t overflow = rows_.size() + fresh.size() > capacity ? rows_.size() + fresh.size() - capacity : 0;
    if (overflow > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(overflow) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(overflow));
        endRemoveRows();
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(fresh.size()) - 1);
    for (TrafficRow& r : fresh) {
        if (r.bytes.size() > kShownBytes) {
            r.bytes.resize(kShownBytes);
            r.bytes.shrink_to_fit();
        }
        rows_.push_back(std::move(r));
    }
    endInsertRows();
    return fresh.size();
}

void TrafficModel::Clear() {
    // Rows not yet pulled go too: what was recorded before the clear is not shown.
    recorder_.Clear();
    last_ = recorder_.LastSequence();
    beginResetModel();
    rows_.clear();
    endResetModel();
}

std::string TrafficModel::RowText(int row) const {
    // The whole row from the recorder; one it has dropped since the pull is written as
    // the table keeps it, its bytes cut and marked so.
    const TrafficRow& kept = Row(row);
    const std::deque<TrafficRow>& recorded = recorder_.Rows();
    const auto it = std::lower_bound(recorded.begin(), recorded.end(), kept.sequence,
                                     [](const TrafficRow& r, std::uint64_t sequence) { return r.sequence < sequence; });
    return FormatTrafficLine(it != recorded.end() && it->sequence == kept.sequence ? *it : kept);
}

// --- the filter -----------------------------------------------------------------------

void TrafficFilter::SetDirection(const QString& direction) {
    if (direction == direction_) return;
    direction_ = direction;
    invalidateFilter();
}

void TrafficFilter::SetCommand(const QString& command) {
    if (command == command_) return;
    command_ = command;
    invalidateFilter();
}

bool TrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const QAbstractItemModel* source = sourceModel();
    if (!direction_.isEmpty() &&
        source->index(sourceRow, TrafficModel::ColDirection, sourceParent).data(TrafficModel::kDirectionRole).toString() !=
            direction_)
        return false;
    if (!command_.isEmpty() && source->index(sourceRow, TrafficModel::ColCommand, sourceParent).data().toString() != command_)
        return false;
    return true;
}

// --- the panel ------------------------------------------------------------------------

TrafficPanel::TrafficPanel(TrafficRecorder& recorder, QWidget* parent)
    : QDockWidget(QStringLiteral("Traffic"), parent), model_(recorder, this), filter_(this) {
    setObjectName(QStringLiteral("TrafficPanel"));
    setAllowedAreas(Qt::AllDockWidgetAreas);
    filter_.setSourceModel(&model_);
    recorder.SetEnabled(true);

    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* bar = new QHBoxLayout;
    pause_ = new QCheckBox(QStringLiteral("Pause"), body);
    pause_->setObjectName(QStringLiteral("TrafficPause"));
    auto* clear = new QPushButton(QStringLiteral("Clear"), body);
    clear->setObjectName(QStringLiteral("TrafficClear"));
    direction_ = new QComboBox(body);
    direction_->setObjectName(QStringLiteral("TrafficDirection"));
    direction_->addItem(QStringLiteral("Both directions"), QString());
    for (TrafficDirection d : {TrafficDirection::Sent, TrafficDirection::Received}) {
        const QString text = ToQt(TrafficDirectionText(d));
        direction_->addItem(text, text);
    }
    command_ = new QComboBox(body);
    command_->setObjectName(QStringLiteral("TrafficCommand"));
    command_->addItem(QStringLiteral("All commands"), QString());
    for (std::uint8_t code : {CmdConnect, CmdReadBlock, CmdWriteBlock, CmdDefault, CmdClearSms, CmdClearGprs1,
                              CmdClearGprs2, CmdClearGpsLog, CmdSetMileage, CmdAuthorizeId, CmdDeleteId, CmdCheckId,
                              CmdTemperaturePair})
        AddCommandChoice(ToQt(TrafficCommandName(code)));
    AddCommandChoice(QStringLiteral("-"), QStringLiteral("- (bytes outside a frame)"));
    auto* copy = new QPushButton(QStringLiteral("Copy"), body);
    copy->setObjectName(QStringLiteral("TrafficCopy"));
    auto* save = new QPushButton(QStringLiteral("Save..."), body);
    save->setObjectName(QStringLiteral("TrafficSave"));
    count_ = new QLabel(body);
    count_->setObjectName(QStringLiteral("TrafficCount"));
    // Two rows, so that the panel can stand narrow beside the window.
    for (QWidget* w : std::initializer_list<QWidget*>{pause_, clear, copy, save}) bar->addWidget(w);
    bar->addStretch(1);
    bar->addWidget(count_);
    layout->addLayout(bar);
    auto* filters = new QHBoxLayout;
    filters->addWidget(direction_);
    filters->addWidget(command_);
    filters->addStretch(1);
    layout->addLayout(filters);

    table_ = new QTableView(body);
    table_->setObjectName(QStringLiteral("TrafficTable"));
    table_->setModel(&filter_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Fixed row heights and column widths: a batch of new rows measures nothing.
    QHeaderView* rowsHeader = table_->verticalHeader();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    rowsHeader->hide();
    QHeaderView* columns = table_->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    const int ch = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    table_->setColumnWidth(TrafficModel::ColTime, ch * 11);
    table_->setColumnWidth(TrafficModel::ColDirection, ch * 6);
    table_->setColumnWidth(TrafficModel::ColCommand, ch * 16);
    table_->setColumnWidth(TrafficModel::ColLength, ch * 7);
    table_->setColumnWidth(TrafficModel::ColSummary, ch * 40);
    layout->addWidget(table_, 1);
    setWidget(body);

    auto* copyKey = new QShortcut(QKeySequence::Copy, table_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copyKey, &QShortcut::activated, this, [this] { CopySelected(); });
    connect(pause_, &QCheckBox::toggled, this, [this](bool paused) { SetPaused(paused); });
    connect(clear, &QPushButton::clicked, this, [this] { Clear(); });
    connect(copy, &QPushButton::clicked, this, [this] { CopySelected(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveAs(); });
    // A changed filter shows its newest rows and goes on following new ones.
    connect(direction_, &QComboBox::currentIndexChanged, this, [this] {
        filter_.SetDirection(direction_->currentData().toString());
        UpdateCount();
        table_->scrollToBottom();
    });
    connect(command_, &QComboBox::currentIndexChanged, this, [this] {
        filter_.SetCommand(command_->currentData().toString());
        UpdateCount();
        table_->scrollToBottom();
    });

    pull_.setInterval(kPullIntervalMs);
    connect(&pull_, &QTimer::timeout, this, [this] { PullNow(); });
    UpdateCount();
}

bool TrafficPanel::Paused() const { return pause_->isChecked(); }

void TrafficPanel::SetPaused(bool paused) {
    if (pause_->isChecked() != paused) pause_->setChecked(paused);  // comes back here through toggled
    if (!paused && isVisible()) PullNow();
}

void TrafficPanel::PullNow() {
    if (Paused()) return;
    QScrollBar* bar = table_->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const std::size_t added = model_.Pull();
    if (added == 0) return;
    AddNewCommands(std::max(0, model_.rowCount() - static_cast<int>(added)));
    UpdateCount();
    // Follows the newest row unless the user scrolled up to read.
    if (atEnd) table_->scrollToBottom();
}

void TrafficPanel::Clear() {
    model_.Clear();
    UpdateCount();
}

void TrafficPanel::SetDirectionFilter(const QString& direction) {
    const int i = direction_->findData(direction);
    if (i >= 0) direction_->setCurrentIndex(i);
}

void TrafficPanel::SetCommandFilter(const QString& command) {
    int i = command_->findData(command);
    if (i < 0) {
        AddCommandChoice(command);
        i = command_->findData(command);
    }
    command_->setCurrentIndex(i);
}

void TrafficPanel::AddCommandChoice(const QString& command, const QString& caption) {
    command_->addItem(caption.isEmpty() ? command : caption, command);
}

// A command code the choices do not know yet (a tracker's answer with an odd code)
// becomes a choice of its own.
void TrafficPanel::AddNewCommands(int first) {
    for (int row = first; row < model_.rowCount(); ++row) {
        const QString command = TrafficModel::CommandText(model_.Row(row));
        if (command_->findData(command) < 0) AddCommandChoice(command);
    }
}

QString TrafficPanel::SelectedText() const {
    QModelIndexList rows = table_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex& index : rows) {
        text += ToQt(model_.RowText(filter_.mapToSource(index).row()));
        text += QLatin1Char('\n');
    }
    return text;
}

void TrafficPanel::CopySelected() const {
    const QString text = SelectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

QString TrafficPanel::AllText() const {
    QString text;
    for (int row = 0; row < model_.rowCount(); ++row) {
        text += ToQt(model_.RowText(row));
        text += QLatin1Char('\n');
    }
    return text;
}

bool TrafficPanel::SaveTo(const QString& path, QString& error) const {
    // Through the core's file replacement: the rows hold the authorization code, so a
    // new file is its owner's only from its first byte, and an old one keeps its mode.
    const QByteArray bytes = (ToQt(TrafficHeadingLine()) + QLatin1Char('\n') + AllText()).toLatin1();
    const std::filesystem::path target(QFile::encodeName(path).toStdString());
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(target, ec);
    std::error_code why;
    if (std::filesystem::is_directory(status)) {
        why = std::make_error_code(std::errc::is_a_directory);
    } else if (quorvane::ReplaceFileContents(target, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                             std::filesystem::exists(status), {}, &why)) {
        return true;
    }
    error = QString::fromLatin1(quorvane::FileErrorReason(why));
    return false;
}

void TrafficPanel::SaveAs() {
    // In the folder the traffic was last saved to.
    const QString start =
        saveFolder_.isEmpty() ? QStringLiteral("traffic.txt") : QDir(saveFolder_).filePath(QStringLiteral("traffic.txt"));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Traffic"), start,
                                                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) return;
    saveFolder_ = QFileInfo(path).absolutePath();
    QString error;
    if (!SaveTo(path, error))
        QMessageBox::critical(this, QStringLiteral("Traffic"), QStringLiteral("Cannot save %1: %2").arg(path, error));
}

void TrafficPanel::UpdateCount() {
    count_->setText(QStringLiteral("%1 of %2 rows").arg(filter_.rowCount()).arg(model_.rowCount()));
}

QSize TrafficPanel::sizeHint() const { return {kPreferredWidth, QDockWidget::sizeHint().height()}; }

void TrafficPanel::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    PullNow();
    pull_.start();
}

void TrafficPanel::hideEvent(QHideEvent* event) {
    // Hidden, the panel costs nothing; it catches up when shown again.
    pull_.stop();
    QDockWidget::hideEvent(event);
}

}  // namespace quorvane
