#include "journal/HistoryTool.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "journal/JournalStore.h"

namespace kervo {

namespace {

constexpr char16_t kTimeFormat[] = u"yyyy-MM-ddTHH:mm:ss";

// A field never breaks the line or the columns, whatever a mail's subject holds.
QString field(QString text) {
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r') {
            c = u' ';
        }
    }
    return text;
}

}  // namespace

int runHistoryTool(const QString& journal, const QStringList& options, QTextStream& out,
                   QTextStream& err) {
    AlarmFilter filter;
    for (qsizetype i = 0; i < options.size(); i += 2) {
        const QString& option = options.at(i);
        if (i + 1 >= options.size() || (option != u"--since" && option != u"--server")) {
            err << QStringLiteral(
                       "kervo: --history takes --since YYYY-MM-DD and --server NAME, "
                       "not: %1\n")
                       .arg(options.mid(i).join(u' '));
            return 2;
        }
        const QString& value = options.at(i + 1);
        if (option == u"--server") {
            filter.server = value;
            continue;
        }
        const QDate day = QDate::fromString(value, Qt::ISODate);
        if (!day.isValid()) {
            err << QStringLiteral("kervo: --since wants a day as YYYY-MM-DD, not: %1\n").arg(value);
            return 2;
        }
        filter.since = day.startOfDay();
    }
    JournalStore store(journal);
    if (Result<void> opened = store.openToRead(); !opened.ok()) {
        if (!QFileInfo::exists(journal)) {
            // Nothing recorded yet is an empty history, not a failure of the script.
            err << QStringLiteral("kervo: no journal yet at %1\n")
                       .arg(QDir::toNativeSeparators(journal));
            return 0;
        }
        err << QStringLiteral("kervo: %1\n").arg(opened.error().message);
        return 1;
    }
    Result<std::vector<AlarmEntry>> listed = store.alarms(filter);
    if (!listed.ok()) {
        err << QStringLiteral("kervo: %1\n").arg(listed.error().message);
        return 1;
    }
    std::vector<AlarmEntry>& alarms = listed.value();
    std::sort(alarms.begin(), alarms.end(), [](const AlarmEntry& a, const AlarmEntry& b) {
        return a.raised != b.raised ? a.raised < b.raised : a.id < b.id;
    });
    const QString format = QString::fromUtf16(kTimeFormat);
    for (const AlarmEntry& alarm : alarms) {
        out << alarm.raised.toString(format) << u'\t' << field(alarm.server) << u'\t'
            << field(alarm.tag) << u'\t' << field(alarm.message) << u'\t' << field(alarm.subject)
            << u'\t' << (alarm.isOpen() ? QString() : alarm.acknowledged.toString(format)) << u'\n';
    }
    return 0;
}

}  // namespace kervo
