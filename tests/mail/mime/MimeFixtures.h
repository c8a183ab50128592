#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kervo::test {

inline QString fixturePath(const char* name) {
    return QDir(QStringLiteral(KERVO_TEST_DATA)).filePath(QString::fromUtf8(name));
}

// Every saved mail among the fixtures, in name order.
inline QStringList fixtureMails() {
    const QDir dir(QStringLiteral(KERVO_TEST_DATA));
    QStringList paths;
    for (const QString& name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        paths.append(dir.filePath(name));
    }
    return paths;
}

inline QByteArray readFixture(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace kervo::test
