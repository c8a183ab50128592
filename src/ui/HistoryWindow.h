#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "journal/JournalRecords.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace kervo {

class ActivityChart;
class Clock;
class Journal;

// The history: the chart of the last day or month above the alarms, the open ones first and
// standing out, each part newest first; filters by server and by text; the whole report of the
// chosen alarm below, and its acknowledgement with an optional comment. It reads and writes
// through the journal; it keeps nothing of its own.
class HistoryWindow : public QWidget {
    Q_OBJECT
  public:
    HistoryWindow(Journal& journal, const Clock& clock, QStringList servers,
                  QWidget* parent = nullptr);

    // Reads the journal again now.
    void refresh();
    // Reads it again soon: many changes in a row cost one reading.
    void refreshSoon();

    // The alarms listed, in the list's order.
    const std::vector<AlarmEntry>& listed() const { return listed_; }
    void selectRow(int row);
    // The selected alarm acknowledged with the comment field's text.
    void acknowledgeSelected();

  Q_SIGNALS:
    void alarmAcknowledged();

  private:
    void buildControls(const QStringList& servers);
    void refreshChart();
    void showSelected();

    Journal& journal_;
    const Clock& clock_;
    std::vector<AlarmEntry> listed_;
    QTimer refreshTimer_;
    ActivityChart* chart_ = nullptr;
    QComboBox* chartPeriod_ = nullptr;
    QComboBox* serverFilter_ = nullptr;
    QLineEdit* textFilter_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* problem_ = nullptr;
    QPlainTextEdit* reportText_ = nullptr;
    QLineEdit* comment_ = nullptr;
    QPushButton* acknowledge_ = nullptr;
};

}  // namespace kervo
