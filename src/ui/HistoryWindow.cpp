#include "ui/HistoryWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/ScreenTexts.h"
#include "app/Seams.h"
#include "app/TextSafety.h"
#include "journal/Journal.h"
#include "ui/ActivityChart.h"

namespace kervo {

namespace {

constexpr int kRefreshDelayMs = 500;
const QColor kOpenColour(200, 0, 0);

}  // namespace

HistoryWindow::HistoryWindow(Journal& journal, const Clock& clock, QStringList servers,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), journal_(journal), clock_(clock) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(screen::historyTitle());
    resize(760, 640);
    buildControls(servers);
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshDelayMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &HistoryWindow::refresh);
    refresh();
}

void HistoryWindow::buildControls(const QStringList& servers) {
    chartPeriod_ = new QComboBox(this);
    chartPeriod_->setObjectName(QStringLiteral("chartPeriod"));
    chartPeriod_->addItems({screen::last24Hours(), screen::last30Days()});
    chart_ = new ActivityChart(this);
    serverFilter_ = new QComboBox(this);
    serverFilter_->setObjectName(QStringLiteral("serverFilter"));
    serverFilter_->addItem(screen::allServers());
    serverFilter_->addItems(servers);
    textFilter_ = new QLineEdit(this);
    textFilter_->setObjectName(QStringLiteral("textFilter"));
    textFilter_->setPlaceholderText(screen::historyFilterHint());
    table_ = new QTableWidget(0, static_cast<int>(screen::historyColumns().size()), this);
    table_->setObjectName(QStringLiteral("alarmList"));
    table_->setHorizontalHeaderLabels(screen::historyColumns());
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("historyProblem"));
    problem_->hide();
    reportText_ = new QPlainTextEdit(this);
    reportText_->setObjectName(QStringLiteral("reportText"));
    reportText_->setReadOnly(true);
    comment_ = new QLineEdit(this);
    comment_->setObjectName(QStringLiteral("comment"));
    comment_->setPlaceholderText(screen::commentHint());
    acknowledge_ = new QPushButton(screen::acknowledgeCommand(), this);
    acknowledge_->setObjectName(QStringLiteral("acknowledge"));
    acknowledge_->setEnabled(false);

    auto* filters = new QHBoxLayout;
    filters->addWidget(serverFilter_);
    filters->addWidget(textFilter_, 1);
    auto* acknowledgement = new QHBoxLayout;
    acknowledgement->addWidget(comment_, 1);
    acknowledgement->addWidget(acknowledge_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chartPeriod_);
    layout->addWidget(chart_);
    layout->addLayout(filters);
    layout->addWidget(problem_);
    layout->addWidget(table_, 3);
    layout->addWidget(reportText_, 2);
    layout->addLayout(acknowledgement);

    connect(chartPeriod_, &QComboBox::currentIndexChanged, this, &HistoryWindow::refreshChart);
    connect(serverFilter_, &QComboBox::currentIndexChanged, this, &HistoryWindow::refresh);
    connect(textFilter_, &QLineEdit::textChanged, this, &HistoryWindow::refreshSoon);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &HistoryWindow::showSelected);
    connect(acknowledge_, &QPushButton::clicked, this, &HistoryWindow::acknowledgeSelected);
}

void HistoryWindow::refreshSoon() {
    refreshTimer_.start();
}

void HistoryWindow::refresh() {
    refreshTimer_.stop();
    AlarmFilter filter;
    if (serverFilter_->currentIndex() > 0) {
        filter.server = serverFilter_->currentText();
    }
    filter.text = textFilter_->text().trimmed();
    const qint64 selectedId =
        table_->currentRow() >= 0 && table_->currentRow() < int(listed_.size())
            ? listed_[static_cast<size_t>(table_->currentRow())].id
            : -1;
    Result<std::vector<AlarmEntry>> read = journal_.store().alarms(filter);
    problem_->setVisible(!read.ok());
    listed_ = read.ok() ? std::move(read).value() : std::vector<AlarmEntry>{};
    if (!read.ok()) {
        problem_->setText(displaySafe(read.error().message));
    }
    const QSignalBlocker quiet(table_);
    table_->clearContents();
    table_->setRowCount(static_cast<int>(listed_.size()));
    int reselect = -1;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const AlarmEntry& alarm = listed_[static_cast<size_t>(row)];
        const QString cells[] = {
            alarm.raised.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), alarm.server,
            alarm.message, oneLine(alarm.subject),
            alarm.isOpen()
                ? screen::unacknowledged()
                : screen::acknowledgedBy(alarm.acknowledged, alarm.acknowledgedBy, alarm.comment)};
        for (int column = 0; column < table_->columnCount(); ++column) {
            auto* item = new QTableWidgetItem(displaySafe(cells[column]));
            if (alarm.isOpen()) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
                item->setForeground(kOpenColour);
            }
            table_->setItem(row, column, item);
        }
        if (alarm.id == selectedId) {
            reselect = row;
        }
    }
    if (reselect >= 0) {
        table_->selectRow(reselect);
    }
    showSelected();
    refreshChart();
}

void HistoryWindow::refreshChart() {
    const QDateTime now = clock_.now();
    const bool byDay = chartPeriod_->currentIndex() == 1;
    const int count = byDay ? 30 : 24;
    const qint64 period = byDay ? 24 * 3600 : 3600;
    const QDateTime last =
        byDay ? now.date().startOfDay() : QDateTime(now.date(), QTime(now.time().hour(), 0));
    const QDateTime first = last.addSecs(-period * (count - 1));
    const Result<std::vector<ServerActivity>> counted =
        journal_.store().activity(first, period, count);
    const QString format = byDay ? QStringLiteral("MM-dd") : QStringLiteral("HH:mm");
    chart_->setActivity(counted.ok() ? counted.value() : std::vector<ServerActivity>{},
                        first.toString(format), last.toString(format));
}

void HistoryWindow::selectRow(int row) {
    table_->selectRow(row);
}

void HistoryWindow::showSelected() {
    const int row = table_->currentRow();
    const bool chosen =
        !table_->selectedItems().isEmpty() && row >= 0 && row < static_cast<int>(listed_.size());
    acknowledge_->setEnabled(chosen);
    if (!chosen) {
        reportText_->clear();
        return;
    }
    const AlarmEntry& alarm = listed_[static_cast<size_t>(row)];
    const Result<KeptReport> kept = journal_.store().report(alarm.reportId);
    if (!kept.ok()) {
        reportText_->setPlainText(displaySafe(kept.error().message));
        return;
    }
    QString text = kept.value().subject + QStringLiteral("\n\n") + kept.value().body;
    if (kept.value().cut) {
        text += u'\n' + screen::reportCut();
    }
    reportText_->setPlainText(displaySafe(text));
}

void HistoryWindow::acknowledgeSelected() {
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(listed_.size())) {
        return;
    }
    const Result<void> done = journal_.acknowledge(listed_[static_cast<size_t>(row)].id,
                                                   Journal::operatorName(), comment_->text());
    if (!done.ok()) {
        problem_->setText(displaySafe(done.error().message));
        problem_->show();
        return;
    }
    comment_->clear();
    refresh();
    Q_EMIT alarmAcknowledged();
}

}  // namespace kervo
