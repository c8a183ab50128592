#include "app/FormModel.h"

#include <QPainter>
#include <stdexcept>

#include "app/TextSafety.h"

namespace kervo {

FormModel::FormModel(QObject* parent) : QObject(parent) {
    for (auto& dial : dials_) {
        dial.hands = QImage(kDialPixels, kDialPixels, QImage::Format_ARGB32_Premultiplied);
        dial.hands.fill(Qt::transparent);
    }
}

void FormModel::setBackgroundPicture(const QImage& picture) {
    backgroundPicture_ = picture;
    Q_EMIT backgroundChanged();
}

void FormModel::setBackgroundColour(Rgb colour) {
    backgroundColour_ = colour;
    Q_EMIT backgroundChanged();
}

void FormModel::setWindowState(WindowState state) {
    windowState_ = state;
    Q_EMIT windowStateRequested(state);
}

void FormModel::noteWindowState(WindowState state) {
    windowState_ = state;
}

void FormModel::setLabelText(FormLabel label, const QString& text) {
    labels_.at(static_cast<size_t>(label)) = displaySafe(text.left(kShownTextLimit));
    Q_EMIT labelChanged(label);
}

QString FormModel::labelText(FormLabel label) const {
    return labels_.at(static_cast<size_t>(label));
}

void FormModel::setResetLabelVisible(bool visible) {
    resetLabelVisible_ = visible;
    Q_EMIT resetLabelVisibleChanged(visible);
}

DialModel& FormModel::dialAt(int index) {
    if (index < 0 || index >= kDialCount) {
        throw std::out_of_range("no dial with index " + std::to_string(index));
    }
    return dials_[static_cast<size_t>(index)];
}

const DialModel& FormModel::dial(int index) const {
    return const_cast<FormModel*>(this)->dialAt(index);
}

void FormModel::setDialVisible(int index, bool visible) {
    dialAt(index).visible = visible;
    Q_EMIT dialChanged(index);
}

void FormModel::setDialPicture(int index, const QImage& picture) {
    dialAt(index).picture = picture;
    Q_EMIT dialChanged(index);
}

void FormModel::setDialCaption(int index, const QString& caption) {
    dialAt(index).caption = displaySafe(caption);
    Q_EMIT dialChanged(index);
}

QSizeF FormModel::dialSizeTwips(int index) const {
    (void)dial(index);
    return QSizeF(kDialTwips, kDialTwips);
}

void FormModel::clearDial(int index) {
    dialAt(index).hands.fill(Qt::transparent);
    Q_EMIT dialChanged(index);
}

void FormModel::drawDialLine(int index, QPointF fromTwips, QPointF toTwips, Rgb colour) {
    DialModel& d = dialAt(index);
    QPainter painter(&d.hands);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(toQColor(colour));
    pen.setWidth(1);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    painter.drawLine(fromTwips / kTwipsPerPixel, toTwips / kTwipsPerPixel);
    painter.end();
    Q_EMIT dialChanged(index);
}

QImage FormModel::renderDial(int index) const {
    const DialModel& d = dial(index);
    QImage out(kDialPixels, kDialPixels, QImage::Format_ARGB32_Premultiplied);
    out.fill(toQColor(kDialBackground));
    QPainter painter(&out);
    if (!d.picture.isNull()) {
        painter.drawImage(0, 0, d.picture);
    }
    painter.drawImage(0, 0, d.hands);
    painter.end();
    return out;
}

void FormModel::setMailBodyText(const QString& text) {
    if (mailBodyPresence_ == MailBodyPresence::Absent) {
        mailBodyPresence_ = MailBodyPresence::Hidden;
    }
    mailBodyText_ = displaySafe(text.left(kShownTextLimit));
    Q_EMIT mailBodyChanged();
}

void FormModel::showMailBody() {
    if (mailBodyPresence_ == MailBodyPresence::Absent) {
        mailBodyText_.clear();
    }
    mailBodyPresence_ = MailBodyPresence::Shown;
    Q_EMIT mailBodyChanged();
    Q_EMIT mailBodyShowRequested();
}

void FormModel::closeMailBody() {
    mailBodyPresence_ = MailBodyPresence::Absent;
    mailBodyText_.clear();
    Q_EMIT mailBodyChanged();
}

}  // namespace kervo
