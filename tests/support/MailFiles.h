#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>

namespace kervo::test {

inline QStringList filesIn(const QString& dir) {
    QStringList out;
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        out.append(dir + u'/' + name);
    }
    return out;
}

inline QList<QByteArray> contentsOf(const QStringList& files) {
    QList<QByteArray> out;
    for (const QString& path : files) {
        QFile file(path);
        out.append(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return out;
}

}  // namespace kervo::test
