#include "MailboxCheck.h"

#include <QDir>
#include <QFile>

#include "CampaignMail.h"

namespace kervo::faults {

namespace {

QStringList filesIn(const QString& dir) {
    QStringList out;
    const QDir d(dir);
    for (const QString& name : d.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        out.append(d.filePath(name));
    }
    return out;
}

}  // namespace

int Verdict::duplicates() const {
    int extra = 0;
    for (const int copies : saves) {
        extra += copies > 1 ? copies - 1 : 0;
    }
    return extra;
}

QString Verdict::describe() const {
    QStringList parts;
    if (!lost.isEmpty()) {
        QStringList numbers;
        for (const int n : lost) {
            numbers.append(QString::number(n));
        }
        parts.append(QStringLiteral("lost: ") + numbers.join(u' '));
    }
    if (!damaged.isEmpty()) {
        parts.append(QStringLiteral("damaged: ") + damaged.join(u' '));
    }
    if (!strays.isEmpty()) {
        parts.append(QStringLiteral("strays: ") + strays.join(u' '));
    }
    return parts.join(QStringLiteral("; "));
}

Verdict judge(const QMap<int, QByteArray>& expected, const QSet<int>& onServer,
              const QList<SavedMail>& saved) {
    Verdict verdict;
    for (const SavedMail& mail : saved) {
        const std::optional<int> seq = campaignSeq(mail.bytes);
        const auto wanted = seq ? expected.constFind(*seq) : expected.cend();
        if (wanted == expected.cend()) {
            verdict.strays.append(mail.name);
        } else if (mail.bytes != *wanted) {
            verdict.damaged.append(QStringLiteral("%1 (mail %2, %3 of %4 bytes)")
                                       .arg(mail.name)
                                       .arg(*seq)
                                       .arg(mail.bytes.size())
                                       .arg(wanted->size()));
        } else {
            ++verdict.saves[*seq];
        }
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const bool isSaved = verdict.saves.contains(it.key());
        const bool isOnServer = onServer.contains(it.key());
        if (!isSaved && !isOnServer) {
            verdict.lost.append(it.key());
        } else if (isSaved && isOnServer) {
            ++verdict.onBoth;
        }
    }
    return verdict;
}

QSet<int> numbersInMaildir(const QString& maildir) {
    QSet<int> out;
    for (const char* part : {"/new", "/cur"}) {
        for (const QString& path : filesIn(maildir + QLatin1StringView(part))) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                continue;  // expunged or moved meanwhile
            }
            // The header block is at the front; the number is all that is wanted.
            if (const std::optional<int> seq = campaignSeq(file.read(16 * 1024))) {
                out.insert(*seq);
            }
        }
    }
    return out;
}

QList<SavedMail> savedMails(const QString& folder) {
    QList<SavedMail> out;
    for (const char* part : {"/new", "/cur"}) {
        for (const QString& path : filesIn(folder + QLatin1StringView(part))) {
            QFile file(path);
            out.append({QLatin1StringView(part).sliced(1) + u'/' + QFileInfo(path).fileName(),
                        file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()});
        }
    }
    return out;
}

int draftsIn(const QString& folder) {
    return int(filesIn(folder + QStringLiteral("/tmp")).size());
}

}  // namespace kervo::faults
