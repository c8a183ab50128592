#pragma once

#include <QStringList>
#include <QWidget>
#include <vector>

#include "journal/JournalRecords.h"

namespace kervo {

// Reports and alarms per period, one strip per server: a grey bar for the reports of each
// period, the red part of it the alarms. Strips side by side in one scale would hide a quiet
// server beside a busy one; each strip has its own scale, and its largest count is written at
// its end.
class ActivityChart : public QWidget {
    Q_OBJECT
  public:
    explicit ActivityChart(QWidget* parent = nullptr);

    // The counts, and the labels of the first and the last period.
    void setActivity(std::vector<ServerActivity> activity, const QString& firstLabel,
                     const QString& lastLabel);
    const std::vector<ServerActivity>& activity() const { return activity_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<ServerActivity> activity_;
    QString firstLabel_;
    QString lastLabel_;
};

}  // namespace kervo
