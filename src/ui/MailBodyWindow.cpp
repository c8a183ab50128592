#include "ui/MailBodyWindow.h"

#include <QCloseEvent>
#include <QPushButton>

#include "app/ScreenTexts.h"
#include "ui/Fonts.h"
#include "ui/TextBox.h"

namespace kervo {

MailBodyWindow::MailBodyWindow()
    : QWidget(nullptr, Qt::Window),
      backButton_(new QPushButton(screen::backButton(), this)),
      bodyText_(new TextBox(this)) {
    installFontSubstitutions();
    setWindowTitle(screen::mailBodyTitle());
    setFixedSize(kClientWidth, kClientHeight);

    // The button does nothing: the window is closed with its own close control.
    backButton_->setObjectName(QStringLiteral("backButton"));
    backButton_->setGeometry(0, 0, 625, 25);
    backButton_->setFont(designFont(gothicFace(), 9.75, 400));
    QPalette buttonPalette = backButton_->palette();
    buttonPalette.setColor(QPalette::Button, Qt::white);
    backButton_->setPalette(buttonPalette);
    backButton_->setAutoDefault(false);
    backButton_->setFocusPolicy(Qt::NoFocus);

    bodyText_->setObjectName(QStringLiteral("bodyText"));
    bodyText_->setGeometry(8, 40, 609, 625);
    bodyText_->setOpaque(palette().color(QPalette::Window));
    bodyText_->setTextColour(palette().color(QPalette::WindowText));
}

void MailBodyWindow::setText(const QString& text) {
    bodyText_->setText(text);
}

QString MailBodyWindow::text() const {
    return bodyText_->text();
}

void MailBodyWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT closed();
}

}  // namespace kervo
