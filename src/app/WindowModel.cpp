#include "app/WindowModel.h"

#include <QPainter>

#include "app/Pictures.h"
#include "app/TextSafety.h"

namespace kervo {

namespace {

QString shown(const QString& text) {
    return displaySafe(text.left(WindowModel::kShownTextLimit));
}

}  // namespace

WindowModel::WindowModel(QObject* parent) : QObject(parent) {
    for (auto& dial : dials_) {
        dial.hands = QImage(kDialSize, kDialSize, QImage::Format_ARGB32_Premultiplied);
        dial.hands.fill(Qt::transparent);
    }
}

void WindowModel::setBackgroundPicture(const QImage& picture) {
    backgroundPicture_ = readyToPaint(picture);
    Q_EMIT backgroundChanged();
}

void WindowModel::setBackgroundColour(Rgb colour) {
    backgroundColour_ = colour;
    Q_EMIT backgroundChanged();
}

void WindowModel::setWindowState(WindowState state) {
    windowState_ = state;
    Q_EMIT windowStateRequested(state);
}

void WindowModel::noteWindowState(WindowState state) {
    windowState_ = state;
}

void WindowModel::setAlarmSubject(const QString& text) {
    alarmSubject_ = shown(text);
    Q_EMIT alarmSubjectChanged(alarmSubject_);
}

void WindowModel::setAlarmReport(const QString& text) {
    alarmReport_ = shown(text);
    Q_EMIT alarmReportChanged(alarmReport_);
}

void WindowModel::setAlarmMessage(const QString& text) {
    alarmMessage_ = shown(text);
    Q_EMIT alarmMessageChanged(alarmMessage_);
}

void WindowModel::setClock(const QString& text) {
    clock_ = shown(text);
    Q_EMIT clockChanged(clock_);
}

void WindowModel::setStatusNotice(const QString& text) {
    statusNotice_ = shown(text);
    Q_EMIT statusNoticeChanged(statusNotice_);
}

void WindowModel::setResetAlarmVisible(bool visible) {
    resetAlarmVisible_ = visible;
    Q_EMIT resetAlarmVisibleChanged(visible);
}

DialModel* WindowModel::dialAt(int index) {
    return index >= 0 && index < kDialCount ? &dials_[static_cast<size_t>(index)] : nullptr;
}

const DialModel& WindowModel::dial(int index) const {
    static const DialModel none;
    return index >= 0 && index < kDialCount ? dials_[static_cast<size_t>(index)] : none;
}

void WindowModel::setDialVisible(int index, bool visible) {
    if (DialModel* d = dialAt(index)) {
        d->visible = visible;
        Q_EMIT dialChanged(index);
    }
}

void WindowModel::setDialPicture(int index, const QImage& picture) {
    if (DialModel* d = dialAt(index)) {
        d->picture = readyToPaint(picture);
        Q_EMIT dialChanged(index);
    }
}

void WindowModel::setDialCaption(int index, const QString& caption) {
    if (DialModel* d = dialAt(index)) {
        d->caption = displaySafe(caption);
        Q_EMIT dialChanged(index);
    }
}

void WindowModel::clearDial(int index) {
    if (DialModel* d = dialAt(index)) {
        d->hands.fill(Qt::transparent);
        Q_EMIT dialChanged(index);
    }
}

void WindowModel::drawDialLine(int index, QPointF from, QPointF to, Rgb colour) {
    DialModel* d = dialAt(index);
    if (d == nullptr) {
        return;
    }
    QPainter painter(&d->hands);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(toQColor(colour));
    pen.setWidth(1);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    painter.drawLine(from, to);
    painter.end();
    Q_EMIT dialChanged(index);
}

QImage WindowModel::renderDial(int index) const {
    const DialModel& d = dial(index);
    QImage out(kDialSize, kDialSize, QImage::Format_ARGB32_Premultiplied);
    out.fill(toQColor(kDialBackground));
    QPainter painter(&out);
    if (!d.picture.isNull()) {
        painter.drawImage(0, 0, d.picture);
    }
    if (!d.hands.isNull()) {
        painter.drawImage(0, 0, d.hands);
    }
    painter.end();
    return out;
}

void WindowModel::setMailBodyText(const QString& text) {
    if (mailBodyPresence_ == MailBodyPresence::Absent) {
        mailBodyPresence_ = MailBodyPresence::Hidden;
    }
    mailBodyText_ = shown(text);
    Q_EMIT mailBodyChanged();
}

void WindowModel::showMailBody() {
    if (mailBodyPresence_ == MailBodyPresence::Absent) {
        mailBodyText_.clear();
    }
    mailBodyPresence_ = MailBodyPresence::Shown;
    Q_EMIT mailBodyChanged();
    Q_EMIT mailBodyShowRequested();
}

void WindowModel::closeMailBody() {
    mailBodyPresence_ = MailBodyPresence::Absent;
    mailBodyText_.clear();
    Q_EMIT mailBodyChanged();
}

}  // namespace kervo
