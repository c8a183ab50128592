#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QWidget;

namespace kervo {

class ProblemLog;

// Shows the operator the problems that need their eyes, without stopping the monitor: one
// non-modal warning box that collects the latest warnings while it stays open.
class WarningPresenter : public QObject {
    Q_OBJECT
  public:
    // The most recent warnings one box shows; older ones are still in the log.
    static constexpr int kMaxShown = 10;

    // The boxes open over window; the presenter itself belongs to parent, if any.
    WarningPresenter(ProblemLog& log, QWidget* window, QObject* parent = nullptr);

    void showWarning(const QString& text);
    // The open warning box, if any.
    QMessageBox* box() const { return box_.data(); }

    // The modal error box for a start-up that cannot go on; returns when the operator closes it.
    static void showStartupError(const QString& text);

  private:
    QWidget* window_;
    QPointer<QMessageBox> box_;
    QStringList shown_;
};

}  // namespace kervo
