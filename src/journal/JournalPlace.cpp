#include "journal/JournalPlace.h"

#include <QDir>
#include <QStandardPaths>

#include "app/ProblemLog.h"
#include "journal/Journal.h"

namespace kervo {

QString journalPath() {
    const QString set = qEnvironmentVariable("KERVO_JOURNAL");
    if (!set.isEmpty()) {
        return QDir::cleanPath(QDir::current().absoluteFilePath(set));
    }
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) {
        data = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return data + QStringLiteral("/kervo/journal.sqlite");
}

int journalRetentionDays(ProblemLog& log) {
    const QString set = qEnvironmentVariable("KERVO_JOURNAL_DAYS").trimmed();
    if (set.isEmpty()) {
        return Journal::kDefaultRetentionDays;
    }
    bool isNumber = false;
    const int days = set.toInt(&isNumber);
    if (!isNumber || days < 1) {
        log.report(QStringLiteral("KERVO_JOURNAL_DAYS=%1 is no whole number of days from 1; the "
                                  "journal keeps %2 days")
                       .arg(set)
                       .arg(Journal::kDefaultRetentionDays));
        return Journal::kDefaultRetentionDays;
    }
    return days;
}

}  // namespace kervo
