#pragma once

#include <QMutex>
#include <QSet>
#include <QString>
#include <QtGlobal>

#include "app/ProblemLog.h"

namespace kervo {

// The toolkit's own messages (Qt and the sound system through it) routed into Kervo's log while
// this object lives: a warning or worse becomes one time-stamped line marked "toolkit:", said
// once however often it recurs; debug and information messages are dropped. Without it they
// would land unmarked and without a time between the alarms, some of them at every blink.
class ToolkitMessages {
  public:
    explicit ToolkitMessages(ProblemLog& log);
    ~ToolkitMessages();
    ToolkitMessages(const ToolkitMessages&) = delete;
    ToolkitMessages& operator=(const ToolkitMessages&) = delete;

  private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text);
    void take(QtMsgType type, const QString& text);

    ProblemLog& log_;
    QtMessageHandler previous_;
    QMutex mutex_;  // messages come from any thread
    QSet<QString> said_;
};

}  // namespace kervo
