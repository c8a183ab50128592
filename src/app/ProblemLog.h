#pragma once

#include <QObject>
#include <QString>
#include <cstdio>

namespace kervo {

// Where run-time problems go: a timestamped line on standard error, always one line whatever
// the text holds, and for the ones the operator must see, a signal the window turns into a
// non-modal warning (there line breaks stay). Nothing here ends the program.
class ProblemLog : public QObject {
    Q_OBJECT
  public:
    explicit ProblemLog(std::FILE* stream = stderr, QObject* parent = nullptr)
        : QObject(parent), stream_(stream) {}

    // Written to the log only.
    void report(const QString& text);
    // Written to the log and shown to the operator.
    void warn(const QString& text);

  Q_SIGNALS:
    void warningRaised(const QString& text);

  private:
    std::FILE* stream_;
};

}  // namespace kervo
