#include "ui/ActivityChart.h"

#include <QPainter>
#include <algorithm>

#include "app/ScreenTexts.h"

namespace kervo {

namespace {

constexpr int kStripHeight = 22;
constexpr int kNameWidth = 110;
constexpr int kCountWidth = 40;
constexpr int kMargin = 4;
const QColor kReportColour(170, 170, 170);
const QColor kAlarmColour(220, 0, 0);

}  // namespace

ActivityChart::ActivityChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("activityChart"));
    setMinimumHeight(kStripHeight * 2);
}

void ActivityChart::setActivity(std::vector<ServerActivity> activity, const QString& firstLabel,
                                const QString& lastLabel) {
    activity_ = std::move(activity);
    firstLabel_ = firstLabel;
    lastLabel_ = lastLabel;
    updateGeometry();
    update();
}

QSize ActivityChart::sizeHint() const {
    const int strips = std::max<int>(1, static_cast<int>(activity_.size()));
    return {640, (strips + 2) * kStripHeight};
}

void ActivityChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const int barsLeft = kNameWidth;
    const int barsWidth = std::max(10, width() - kNameWidth - kCountWidth);
    int top = kMargin;
    for (const ServerActivity& server : activity_) {
        const int periods = static_cast<int>(server.reports.size());
        const int most =
            std::max(1, *std::max_element(server.reports.begin(), server.reports.end()));
        painter.setPen(Qt::black);
        painter.drawText(QRect(kMargin, top, kNameWidth - 2 * kMargin, kStripHeight),
                         Qt::AlignVCenter | Qt::AlignLeft, server.server);
        const double step = static_cast<double>(barsWidth) / std::max(1, periods);
        const int usable = kStripHeight - 4;
        for (int i = 0; i < periods; ++i) {
            const auto at = static_cast<size_t>(i);
            const int reportHeight = usable * server.reports[at] / most;
            const int alarmHeight = std::min(reportHeight, usable * server.alarms[at] / most);
            const int left = barsLeft + static_cast<int>(i * step);
            const int barWidth = std::max(1, static_cast<int>(step) - 1);
            const int bottom = top + kStripHeight - 2;
            painter.fillRect(left, bottom - reportHeight, barWidth, reportHeight, kReportColour);
            painter.fillRect(left, bottom - alarmHeight, barWidth, alarmHeight, kAlarmColour);
        }
        painter.drawText(QRect(barsLeft + barsWidth, top, kCountWidth, kStripHeight),
                         Qt::AlignVCenter | Qt::AlignRight, QString::number(most));
        top += kStripHeight;
    }
    painter.setPen(Qt::darkGray);
    const QRect labels(barsLeft, top, barsWidth, kStripHeight);
    painter.drawText(labels, Qt::AlignLeft | Qt::AlignVCenter, firstLabel_);
    painter.drawText(labels, Qt::AlignRight | Qt::AlignVCenter, lastLabel_);
    painter.drawText(labels, Qt::AlignHCenter | Qt::AlignVCenter, screen::chartLegend());
}

}  // namespace kervo
