#include "support/MailboxFill.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace kervo::bench {

QString depositName(quint64 sequence, const QString& templateName) {
    return QStringLiteral("k%1.%2").arg(sequence, 8, 10, QLatin1Char('0')).arg(templateName);
}

MailboxFill::MailboxFill(QString templateDir, QString maildir)
    : templateDir_(std::move(templateDir)), maildir_(std::move(maildir)) {}

QString MailboxFill::load() {
    templates_ = QDir(templateDir_).entryList(QDir::Files, QDir::Name);
    if (templates_.isEmpty()) {
        return QStringLiteral("no prepared reports in %1").arg(templateDir_);
    }
    return {};
}

QString MailboxFill::deposit(qsizetype count) {
    if (templates_.isEmpty()) {
        return QStringLiteral("no prepared reports loaded");
    }
    const QString target = maildir_ + QStringLiteral("/new/");
    for (qsizetype i = 0; i < count; ++i) {
        const QString name = templates_.at(next_);
        next_ = (next_ + 1) % templates_.size();
        const QByteArray from = QFile::encodeName(templateDir_ + u'/' + name);
        const QByteArray to = QFile::encodeName(target + depositName(++sequence_, name));
        if (::link(from.constData(), to.constData()) == 0) {
            continue;
        }
        if (errno != EXDEV) {
            return QStringLiteral("cannot put %1 into %2: %3")
                .arg(name, target, QString::fromLocal8Bit(std::strerror(errno)));
        }
        struct stat owner {};
        if (!QFile::copy(QFile::decodeName(from), QFile::decodeName(to)) ||
            ::stat(from.constData(), &owner) != 0 ||
            ::chown(to.constData(), owner.st_uid, owner.st_gid) != 0) {
            return QStringLiteral("cannot copy %1 into %2").arg(name, target);
        }
    }
    return {};
}

}  // namespace kervo::bench
