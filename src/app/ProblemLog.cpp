#include "app/ProblemLog.h"

#include <QDateTime>

#include "app/TextSafety.h"

namespace kervo {

void ProblemLog::report(const QString& text) {
    if (stream_ == nullptr) {
        return;
    }
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODate) +
                         QStringLiteral(" kervo: ") + displaySafe(text) + u'\n';
    std::fputs(line.toLocal8Bit().constData(), stream_);
    std::fflush(stream_);
}

void ProblemLog::warn(const QString& text) {
    report(text);
    Q_EMIT warningRaised(displaySafe(text));
}

}  // namespace kervo
