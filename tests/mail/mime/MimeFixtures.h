#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kervo::test {

inline QString fixturePath(const char* name) {
    return QDir(QStringLiteral(KERVO_TEST_DATA)).filePath(QString::fromUtf8(name));
}

}  // namespace kervo::test
