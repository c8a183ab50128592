#include "app/ProblemLog.h"

#include <QDateTime>

#include "app/TextSafety.h"

namespace kervo {

void ProblemLog::report(const QString& text) {
    if (stream_ == nullptr) {
        return;
    }
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODate) +
                         QStringLiteral(" kervo: ") + oneLine(text) + u'\n';
    // A reader that went away (a closed pipe, a full disk) loses the line, never the monitor:
    // SIGPIPE is ignored from the start, and the error flag is cleared for the next line.
    std::fputs(line.toLocal8Bit().constData(), stream_);
    std::fflush(stream_);
    std::clearerr(stream_);
}

void ProblemLog::warn(const QString& text) {
    report(text);
    Q_EMIT warningRaised(displaySafe(text));
}

}  // namespace kervo
