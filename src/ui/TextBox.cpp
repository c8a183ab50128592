#include "ui/TextBox.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

namespace kervo {

TextBox::TextBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
}

void TextBox::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    update();
}

void TextBox::setOpaque(const QColor& background) {
    opaque_ = true;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, background);
    setPalette(pal);
    update();
}

void TextBox::setTransparent() {
    opaque_ = false;
    update();
}

void TextBox::setTextColour(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, colour);
    setPalette(pal);
    update();
}

QString TextBox::withLineSeparators(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n') {
                ++i;
            }
            out.append(QChar::LineSeparator);
        } else if (c == u'\n') {
            out.append(QChar::LineSeparator);
        } else {
            out.append(c);
        }
    }
    return out;
}

void TextBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (opaque_) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
    }
    if (text_.isEmpty()) {
        return;
    }
    painter.setClipRect(rect());
    painter.setPen(palette().color(QPalette::WindowText));

    // Word boundaries first; a single word wider than the box is broken rather than lost past
    // the right edge.
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextLayout layout(withLineSeparators(text_), font(), this);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    qreal y = 0;
    while (y < height()) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width());
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    layout.draw(&painter, QPointF(0, 0));
}

void TextBox::mousePressEvent(QMouseEvent* event) {
    click_.press(event);
}

void TextBox::mouseReleaseEvent(QMouseEvent* event) {
    if (click_.release(event, rect())) {
        Q_EMIT clicked();
    }
}

void TextBox::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is taken but makes no second click, and it must not
    // fall through to the window and drag it.
    event->accept();
}

}  // namespace kervo
