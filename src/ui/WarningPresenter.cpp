#include "ui/WarningPresenter.h"

#include <QMessageBox>

#include "app/ProblemLog.h"

namespace kervo {

namespace {

QString boxTitle() {
    return QStringLiteral("Kervo");
}

}  // namespace

WarningPresenter::WarningPresenter(ProblemLog& log, QWidget* window, QObject* parent)
    : QObject(parent), window_(window) {
    connect(&log, &ProblemLog::warningRaised, this, &WarningPresenter::showWarning);
}

void WarningPresenter::showWarning(const QString& text) {
    // A mail server that stays away warns at every poll; one box that keeps the latest lines
    // is readable where a pile of boxes is not.
    if (box_ == nullptr) {
        shown_.clear();
        box_ =
            new QMessageBox(QMessageBox::Warning, boxTitle(), QString(), QMessageBox::Ok, window_);
        box_->setTextFormat(Qt::PlainText);
        box_->setWindowModality(Qt::NonModal);
        box_->setAttribute(Qt::WA_DeleteOnClose);
    }
    shown_.append(text);
    while (shown_.size() > kMaxShown) {
        shown_.removeFirst();
    }
    box_->setText(shown_.join(u'\n'));
    box_->show();
    box_->raise();
}

void WarningPresenter::showStartupError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, boxTitle(), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace kervo
