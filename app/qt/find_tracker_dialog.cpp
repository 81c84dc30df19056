#include "app/qt/find_tracker_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <string>

#include "app/form1.h"
#include "app/qt/latin1.h"
#include "app/qt/main_window.h"
#include "app/qt/widget_form.h"
#include "serial/comm.h"

namespace quorvane {

namespace {

// The row's index in the results, kept on its first column.
constexpr int kResultIndexRole = Qt::UserRole + 1;

QString OutcomeText(const FindResult& r) {
    switch (r.outcome) {
        case FindResult::Outcome::Tracker:
            return r.authAccepted ? QStringLiteral("Tracker") : QStringLiteral("Tracker (authorization code refused)");
        case FindResult::Outcome::NoAnswer: return QStringLiteral("No answer");
        case FindResult::Outcome::OpenFailed: return ToQt(r.reason);
    }
    return {};
}

}  // namespace

FindTrackerDialog::FindTrackerDialog(TForm1Window& window) : QDialog(&window), window_(window) {
    setObjectName(QStringLiteral("FindTrackerDialog"));
    setWindowTitle(QStringLiteral("Find Tracker"));
    // A search's posted work goes through the window's guard like the port's own.
    mailbox_.SetRunner([this](const std::function<void()>& work) { window_.Guard(work); });

    auto* layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("FindTrackerStatus"));
    status_->setWordWrap(true);
    layout->addWidget(status_);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("FindTrackerList"));
    list_->setRootIsDecorated(false);
    list_->setColumnCount(ColumnCount);
    // The outcome comes last: a reason why a port did not open can be long.
    list_->setHeaderLabels({QStringLiteral("Port"), QStringLiteral("IMEI"), QStringLiteral("Serial number"),
                            QStringLiteral("Firmware"), QStringLiteral("Result")});
    list_->header()->setStretchLastSection(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(list_, 1);

    auto* addRow = new QHBoxLayout;
    addRow->addWidget(new QLabel(QStringLiteral("Also ask:"), this));
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("FindTrackerPath"));
    path_->setPlaceholderText(QStringLiteral("a port's path, such as /dev/tracker-bench1"));
    addRow->addWidget(path_, 1);
    auto* add = new QPushButton(QStringLiteral("Add Port"), this);
    add->setObjectName(QStringLiteral("FindTrackerAdd"));
    add->setAutoDefault(false);
    addRow->addWidget(add);
    layout->addLayout(addRow);
    connect(add, &QPushButton::clicked, this, [this] { AddPort(FromQt(path_->text())); });
    connect(path_, &QLineEdit::returnPressed, this, [this] { AddPort(FromQt(path_->text())); });

    auto* buttons = new QDialogButtonBox(this);
    use_ = buttons->addButton(QStringLiteral("Use This Port"), QDialogButtonBox::AcceptRole);
    use_->setObjectName(QStringLiteral("FindTrackerUse"));
    again_ = buttons->addButton(QStringLiteral("Search Again"), QDialogButtonBox::ActionRole);
    again_->setObjectName(QStringLiteral("FindTrackerAgain"));
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);

    connect(again_, &QPushButton::clicked, this, [this] { Search(); });
    connect(use_, &QPushButton::clicked, this, [this] {
        if (Choose(SelectedIndex())) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (Choose(SelectedIndex())) accept();
    });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const int index = SelectedIndex();
        use_->setEnabled(index >= 0 && results_[static_cast<std::size_t>(index)].outcome ==
                                           FindResult::Outcome::Tracker);
    });
    use_->setEnabled(false);

    poll_.setInterval(kPollIntervalMs);
    connect(&poll_, &QTimer::timeout, this, [this] { PollFinder(); });
    resize(900, 300);
}

FindTrackerDialog::~FindTrackerDialog() {
    poll_.stop();
    finder_.reset();  // closes the ports still open
}

void FindTrackerDialog::Search() {
    if (Searching()) return;
    TForm1& logic = window_.Logic();
    std::vector<PortInfo> ports;
    skipped_.clear();
    const bool ownOpen = logic.PortOpen();
    // The port box's text and the paths added here are asked too: a link or a
    // pseudo-terminal the system's list does not show.
    std::vector<std::string> typed{window_.Controls().Text("ComboBox1")};
    typed.insert(typed.end(), addedPaths_.begin(), addedPaths_.end());
    for (PortInfo& port : PortsToAsk(logic.Watch().Ports().List(), typed)) {
        // Probing the window's own port would put a second master on its line.
        if (ownOpen && SamePortName(port.name, logic.Comm1().CommName()))
            skipped_.push_back(std::move(port));
        else
            ports.push_back(std::move(port));
    }
    auto finder = std::make_unique<TrackerFinder>(mailbox_, window_.Controls());
    bool started = false;
    window_.Guard([&] {
        finder->Start(ports);
        started = true;
    });
    if (!started) return;
    finder_ = std::move(finder);
    results_.clear();
    list_->clear();
    use_->setEnabled(false);
    again_->setEnabled(false);
    status_->setText(QStringLiteral("Asking %1 port(s) for a tracker...").arg(ports.size()));
    PollFinder();
    if (Searching()) poll_.start();
}

void FindTrackerDialog::AddPort(const std::string& path) {
    if (path.find_first_not_of(" \t") == std::string::npos) return;
    if (std::find(addedPaths_.begin(), addedPaths_.end(), path) == addedPaths_.end()) addedPaths_.push_back(path);
    path_->clear();
    Search();
}

void FindTrackerDialog::PollFinder() {
    if (!finder_) return;
    if (!finder_->Poll()) return;
    poll_.stop();
    results_ = finder_->Results();
    finder_.reset();
    again_->setEnabled(true);
    ShowResults();
}

void FindTrackerDialog::ShowResults() {
    list_->clear();
    int trackers = 0;
    for (std::size_t i = 0; i < results_.size(); ++i) {
        const FindResult& r = results_[i];
        QString port = ToQt(r.port.name);
        const std::string description = r.port.Description();
        if (!description.empty()) port += QStringLiteral("  (") + ToQt(description) + QLatin1Char(')');
        auto* item = new QTreeWidgetItem(list_);
        item->setText(ColPort, port);
        item->setText(ColResult, OutcomeText(r));
        item->setToolTip(ColResult, OutcomeText(r));
        item->setData(ColPort, kResultIndexRole, static_cast<int>(i));
        if (r.outcome == FindResult::Outcome::Tracker) {
            ++trackers;
            item->setText(ColImei, ToQt(r.imei));
            item->setText(ColSerial, ToQt(r.serialNumber));
            item->setText(ColFirmware, ToQt(r.firmware));
        } else if (r.outcome == FindResult::Outcome::NoAnswer) {
            item->setForeground(ColResult, palette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
    for (const PortInfo& port : skipped_) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(ColPort, ToQt(port.name));
        item->setText(ColResult, QStringLiteral("Open in this window (not asked)"));
        item->setData(ColPort, kResultIndexRole, -1);
    }
    for (int c = 0; c < ColResult; ++c) list_->resizeColumnToContents(c);
    status_->setText(trackers == 0 ? QStringLiteral("No tracker answered.")
                                   : QStringLiteral("%1 tracker(s) found. Double-click one to use its port.").arg(trackers));
    // The first tracker is chosen already: Enter takes it.
    for (int row = 0; row < list_->topLevelItemCount(); ++row) {
        const int index = list_->topLevelItem(row)->data(ColPort, kResultIndexRole).toInt();
        if (index >= 0 && results_[static_cast<std::size_t>(index)].outcome == FindResult::Outcome::Tracker) {
            list_->setCurrentItem(list_->topLevelItem(row));
            break;
        }
    }
}

int FindTrackerDialog::SelectedIndex() const {
    const QTreeWidgetItem* item = list_->currentItem();
    if (item == nullptr || !item->isSelected()) return -1;
    return item->data(ColPort, kResultIndexRole).toInt();
}

bool FindTrackerDialog::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(results_.size())) return false;
    const FindResult& r = results_[static_cast<std::size_t>(index)];
    if (r.outcome != FindResult::Outcome::Tracker) return false;
    window_.Controls().SetText("ComboBox1", r.port.name);
    return true;
}

}  // namespace quorvane
