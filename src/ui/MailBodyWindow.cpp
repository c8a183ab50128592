#include "ui/MailBodyWindow.h"

#include <QCloseEvent>
#include <QPushButton>

#include "ui/Fonts.h"
#include "ui/TextBox.h"

namespace kervo {

MailBodyWindow::MailBodyWindow()
    : QWidget(nullptr, Qt::Window),
      Command1_(new QPushButton(QStringLiteral("戻　　　る"), this)),
      Label1_(new TextBox(this)) {
    installFontSubstitutions();
    setWindowTitle(QStringLiteral("BODY of mail"));
    setFixedSize(kClientWidth, kClientHeight);

    Command1_->setObjectName(QStringLiteral("Command1"));
    Command1_->setGeometry(0, 0, 625, 25);
    Command1_->setFont(designFont(gothicFace(), 9.75, 400));
    QPalette buttonPalette = Command1_->palette();
    buttonPalette.setColor(QPalette::Button, Qt::white);
    Command1_->setPalette(buttonPalette);
    Command1_->setAutoDefault(false);
    Command1_->setFocusPolicy(Qt::NoFocus);

    Label1_->setObjectName(QStringLiteral("Label1"));
    Label1_->setGeometry(8, 40, 609, 625);
    Label1_->setOpaque(palette().color(QPalette::Window));
    Label1_->setTextColour(palette().color(QPalette::WindowText));
}

void MailBodyWindow::setText(const QString& text) {
    Label1_->setText(text);
}

QString MailBodyWindow::text() const {
    return Label1_->text();
}

void MailBodyWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT closed();
}

}  // namespace kervo
